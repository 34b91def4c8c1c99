#include "utils.h"

#include "logtag.h"

#include <QDebug>
#include <QFile>
#include <QHostAddress>
#include <QTemporaryFile>

namespace Utils {

QString boolToString(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString flagImagePath(const QString& countryCode)
{
    return QStringLiteral("qrc:/resources/icons/flags/%1.png").arg(countryCode.toLower());
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

// Placeholder until the host integration lands.
void setInterfaceMtu(qint32 interfaceIndex, qint32 mtu)
{
    Q_UNUSED(interfaceIndex)
    Q_UNUSED(mtu)
}

} // namespace Utils
