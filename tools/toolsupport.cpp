#include "toolsupport.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>

#include <cstdio>

namespace ToolSupport {

bool isStrictIpv4(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])(\\.(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])){3}$"));
    return pattern.match(text).hasMatch();
}

bool isStrictIpv6(const QString& text)
{
    if (!text.contains(QLatin1Char(':')) || text.contains(QLatin1Char('%')) || text.contains(QLatin1Char('['))) {
        return false;
    }
    const QHostAddress address(text);
    return address.protocol() == QAbstractSocket::IPv6Protocol;
}

QString systemProgram(const QString& name)
{
    const QStringList folders { QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin"),
        QStringLiteral("/bin") };
    for (const QString& folder : folders) {
        const QFileInfo file(folder + QLatin1Char('/') + name);
        if (file.isFile() && file.isExecutable()) {
            return file.filePath();
        }
    }
    return QString();
}

RunResult run(const QString& program, const QStringList& arguments, const QByteArray& input)
{
    RunResult result;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        result.errorText = QStringLiteral("cannot run %1: %2").arg(program, process.errorString());
        return result;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        result.errorText = QStringLiteral("%1 did not finish").arg(program);
        return result;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        result.errorText = QStringLiteral("%1 failed (exit code %2): %3")
                               .arg(program)
                               .arg(process.exitCode())
                               .arg(QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        return result;
    }
    result.ok = true;
    return result;
}

void complain(const QString& tool, const QString& text)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(tool), qPrintable(text));
}

} // namespace ToolSupport
