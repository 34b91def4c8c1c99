#include "toolsupport.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>

#include <cstdio>

namespace ToolSupport {

bool isStrictIpv4(const QString& text)
{
    // Anchored to the whole text: "$" alone would let a final line end through.
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral(
        "(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])(\\.(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])){3}")));
    return pattern.match(text).hasMatch();
}

bool isStrictIpv6(const QString& text)
{
    // Plain ASCII in the one canonical spelling: QHostAddress alone forgives blanks (Unicode ones
    // too), upper case and other spellings that the programs the tools feed may read otherwise.
    static const QRegularExpression characters(QRegularExpression::anchoredPattern(QStringLiteral("[0-9a-f:.]+")));
    if (!characters.match(text).hasMatch()) {
        return false;
    }
    const QHostAddress address(text);
    return address.protocol() == QAbstractSocket::IPv6Protocol && address.toString() == text;
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
