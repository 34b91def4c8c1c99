#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class QTemporaryFile;

// Stateless helpers shared across the client.
namespace Utils {

QString boolToString(bool value);
QString quoted(const QString& text);
bool isIpv4Address(const QString& text);
bool isIpv6Address(const QString& text);
// The address in its canonical text (dotted IPv4, compressed lower-case IPv6), or an empty text when
// the input is anything but plain printable ASCII that reads as one address without a scope: what
// reaches a tool or the network lock must be exactly what the tool will accept.
QString canonicalAddress(const QString& text);
QString anyAddress();

// On-disk copy of a (resource) file; the caller owns it and the copy goes with it. Null on failure.
QTemporaryFile* createLocalTemporaryFile(const QString& path);
// Creates the file, or truncates it to zero length.
void createEmptyFile(const QString& path);
// What a command printed (decoded whole) and its exit code.
struct CommandResult
{
    QString output;
    int exitCode = 0;
};
// Runs a command, waiting at most timeoutMs for it to start and as long again for it to end; a
// command still running then is killed, so a hung tool never outlives the call.
CommandResult runCommand(const QString& program, const QStringList& arguments, int timeoutMs,
    QProcess::ProcessChannelMode channels = QProcess::SeparateChannels);

} // namespace Utils
