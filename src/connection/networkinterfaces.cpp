#include "networkinterfaces.h"

#include "foundation/logtag.h"

NetworkInterfaces::NetworkInterfaces(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("NetworkInterfaces"));
}

void NetworkInterfaces::discover()
{
    if (isDiscovering()) {
        return;
    }
    adapterList.clear();
    delete routeRun;
    routeRun = new CommandRun(
        QStringLiteral("route"), { QStringLiteral("print") }, timeoutMs, QProcess::SeparateChannels, this);
    connect(routeRun, &CommandRun::finished, this, [this](const QString& output) {
        adapterList = parseRouteListing(output);
        emit discovered();
    });
    routeRun->start();
}

bool NetworkInterfaces::isDiscovering() const
{
    return routeRun != nullptr && routeRun->isRunning();
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
