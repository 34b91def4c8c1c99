#include "utils.h"

#include "foundation/logtag.h"

#include <QDebug>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTemporaryFile>

namespace Utils {

QString boolToString(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

bool isIpv4Address(const QString& text)
{
    return QHostAddress(text).protocol() == QAbstractSocket::IPv4Protocol;
}

bool isIpv6Address(const QString& text)
{
    return QHostAddress(text).protocol() == QAbstractSocket::IPv6Protocol;
}

QString canonicalAddress(const QString& text)
{
    // QHostAddress forgives surrounding (also Unicode) blanks, short and hexadecimal IPv4 forms and
    // scopes; the tools forgive none of them.
    for (const QChar c : text) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f) {
            return QString();
        }
    }
    const QHostAddress address(text);
    const bool ipv4 = address.protocol() == QAbstractSocket::IPv4Protocol;
    const bool ipv6 = address.protocol() == QAbstractSocket::IPv6Protocol && address.scopeId().isEmpty();
    if (!ipv4 && !ipv6) {
        return QString();
    }
    const QString canonical = address.toString();
    // An IPv4 address must already be in its one dotted form ("10.1" or "0x0a.0.0.1" are not).
    return ipv4 && canonical != text ? QString() : canonical;
}

QString anyAddress()
{
    return QStringLiteral("0.0.0.0");
}

QTemporaryFile* createLocalTemporaryFile(const QString& path)
{
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly)) {
        tagged(qCritical(), QStringLiteral("Utils"))
            << QStringLiteral("Cannot read local temporary file for path '%1'").arg(path);
        return nullptr;
    }
    source.close();
    QTemporaryFile* copy = QTemporaryFile::createNativeFile(source);
    if (copy == nullptr) {
        tagged(qCritical(), QStringLiteral("Utils"))
            << QStringLiteral("Cannot create local temporary file for path '%1'").arg(path);
    }
    return copy;
}

void createEmptyFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        tagged(qWarning(), QStringLiteral("Utils")) << QStringLiteral("Cannot create empty file '%1'").arg(path);
        return;
    }
    file.close();
}

CommandResult runCommand(
    const QString& program, const QStringList& arguments, int timeoutMs, QProcess::ProcessChannelMode channels)
{
    QProcess process;
    process.setProcessChannelMode(channels);
    process.start(program, arguments, QIODevice::ReadWrite);
    process.waitForStarted(timeoutMs);
    process.waitForFinished(timeoutMs);
    const QByteArray output = process.readAllStandardOutput();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(timeoutMs);
    }
    // All of it: QString::fromUtf8(QByteArray) would stop at a stray NUL byte.
    return { QString::fromUtf8(output.constData(), output.size()), process.exitCode() };
}

} // namespace Utils
