// The Windows side of adapter discovery. The listing's parser is built everywhere, so that it is
// tested against recorded listings.
#include "adapters.h"

#include "foundation/commandrun.h"

NetworkAdapters AdapterDiscovery::parseRouteListing(const QString& listing)
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

#ifdef Q_OS_WIN

void AdapterDiscovery::discover()
{
    if (isDiscovering()) {
        return;
    }
    pending = true;
    adapterList.clear();
    delete routeRun;
    routeRun = new CommandRun(
        QStringLiteral("route"), { QStringLiteral("print") }, timeoutMs, QProcess::SeparateChannels, this);
    connect(routeRun, &CommandRun::finished, this, [this](const QString& output) {
        const NetworkAdapters found = parseRouteListing(output);
        finish(found, found.isEmpty() ? QStringLiteral("No VPN interfaces found") : QString());
    });
    routeRun->start();
}

#endif
