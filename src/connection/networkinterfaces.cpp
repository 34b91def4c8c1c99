#include "networkinterfaces.h"

#include "app/logtag.h"

#include <QProcess>

NetworkInterfaces::NetworkInterfaces(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("NetworkInterfaces"));
}

void NetworkInterfaces::discover()
{
    adapterList.clear();
    QProcess route;
    route.start(QStringLiteral("route"), { QStringLiteral("print") }, QIODevice::ReadWrite);
    route.waitForFinished(timeoutMs);
    const QByteArray output = route.readAllStandardOutput();
    // All of it: a stray NUL byte must not cut the listing short.
    const QString listing = QString::fromUtf8(output.constData(), output.size());
    if (route.state() != QProcess::NotRunning) {
        // A hung listing must not outlive start-up.
        route.kill();
        route.waitForFinished(timeoutMs);
    }
    adapterList = parseRouteListing(listing);
}

bool NetworkInterfaces::isEmpty() const
{
    return adapterList.isEmpty();
}

NetworkAdapters NetworkInterfaces::adapters() const
{
    return adapterList;
}

void NetworkInterfaces::logAdapters() const
{
    if (adapterList.isEmpty()) {
        tagged(qCritical(), objectName()) << "No VPN interfaces found";
        return;
    }
    for (const NetworkAdapter& adapter : adapterList) {
        tagged(qInfo(), objectName()) << "Detected VPN interface, id: " << adapter.index << ", name: '" << adapter.name
                                      << "'";
    }
}

NetworkAdapters NetworkInterfaces::parseRouteListing(const QString& listing)
{
    static const QString marker = QStringLiteral("TAP-Windows Adapter");
    static const QString indexSeparator = QStringLiteral("...");
    static const QString nameSeparator = QStringLiteral("......");

    NetworkAdapters found;
    const QStringList lines = listing.split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (!line.contains(marker)) {
            continue;
        }
        // " 12...00 ff 7a 1b 2c 3d ......TAP-Windows Adapter V9": index, MAC address, description.
        bool isNumber = false;
        const qint32 index = line.split(indexSeparator).first().trimmed().toInt(&isNumber, 10);
        const QStringList nameParts = line.split(nameSeparator);
        const QString name = nameParts.size() > 1 ? nameParts.at(1).simplified() : QString();
        if (isNumber && index > 0 && !name.isEmpty()) {
            found.append(NetworkAdapter { name, index });
        }
    }
    return found;
}

void NetworkInterfaces::setRouteTimeoutMs(int ms)
{
    timeoutMs = ms;
}
