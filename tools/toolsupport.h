#pragma once

#include <QString>
#include <QStringList>

// What the two tools share: strict address checks and running a system program without a shell.
namespace ToolSupport {

// Exit codes of both tools.
enum ExitCode
{
    Success = 0,
    Failed = 1, // the request was sound but the system refused it
    BadUsage = 2, // nothing was changed
};

// Dotted quad only: "10.0.0.1", not "10.1" nor "010.0.0.1", nothing before or after.
bool isStrictIpv4(const QString& text);
// The canonical form only (lower case, zeros compressed), without a scope and without brackets.
bool isStrictIpv6(const QString& text);

// The full path of a system program from the system folders only (never from PATH: the tools run
// with the service's rights); empty when it is not installed.
QString systemProgram(const QString& name);

struct RunResult
{
    bool ok = false;
    QString errorText;
};

// Runs the program with the input on its standard input and waits for it.
RunResult run(const QString& program, const QStringList& arguments, const QByteArray& input = QByteArray());

// "TOOL: text" on standard error.
void complain(const QString& tool, const QString& text);

} // namespace ToolSupport
