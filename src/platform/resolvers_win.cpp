// The Windows side of the user's resolvers: the registry's connections and their static DNS
// servers. The readers are built everywhere, so that they are tested against recorded registry data.
#include "resolvers.h"

#include "foundation/logtag.h"
#include "registry.h"

#include <QSettings>

#include <memory>

namespace {

const QString ipv4InterfacesKey
    = QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces");
const QString ipv6InterfacesKey
    = QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip6\\Parameters\\Interfaces");
const QString dnsValueName = QStringLiteral("NameServer");
const QString connectionKey = QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Network\\"
                                             "{4D36E972-E325-11CE-BFC1-08002BE10318}\\%1\\Connection");
const QString adapterClassKey = QStringLiteral(
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}");
// The kernel debug network adapter is never a connection the user has.
const QString kernelDebugInstanceId = QStringLiteral("ROOT\\KDNIC\\0000");
const QString tapDeviceId = QStringLiteral("tap0901");

// Whether a TAP adapter of the VPN driver carries the connection's GUID.
bool isVpnConnection(const QString& id)
{
    const std::unique_ptr<QSettings> adapters = Registry::openKey(adapterClassKey);
    const QStringList subkeys = adapters->childGroups();
    bool found = false;
    for (const QString& subkey : subkeys) {
        adapters->beginGroup(subkey);
        const QStringList names = adapters->childKeys();
        for (const QString& valueName : names) {
            if (valueName == QLatin1String("MatchingDeviceId") && adapters->value(valueName).toString() == tapDeviceId
                && adapters->value(QStringLiteral("NetCfgInstanceId")).toString().toLower() == id.toLower()) {
                found = true;
            }
        }
        adapters->endGroup();
    }
    return found;
}

// GUID and server list of each connection of one family's interfaces key, in subkey order.
QList<QPair<QString, QStringList>> readDnsServers(const QString& interfacesKey, const QSet<QString>& knownGuids)
{
    QList<QPair<QString, QStringList>> records;
    const std::unique_ptr<QSettings> key = Registry::openKey(interfacesKey);
    const QStringList subkeys = key->childGroups();
    for (const QString& guid : subkeys) {
        if (UserResolvers::connectionName(guid).isEmpty() || !knownGuids.contains(guid.toUpper())) {
            continue;
        }
        key->beginGroup(guid);
        const QString value = key->value(dnsValueName).toString();
        key->endGroup();
        // Empty parts stay: the tool gets the list exactly as the registry holds it.
        records.append({ guid, value.isEmpty() ? QStringList() : value.split(QLatin1Char(',')) });
    }
    return records;
}

} // namespace

NetworkInterfaceList UserResolvers::readConnections(const QSet<QString>& knownGuids)
{
    const auto ipv4 = readDnsServers(ipv4InterfacesKey, knownGuids);
    const auto ipv6 = readDnsServers(ipv6InterfacesKey, knownGuids);
    if (ipv4.size() != ipv6.size()) {
        tagged(qCritical(), QStringLiteral("DnsManager")) << "DNS internal issue: Ipv4/Ipv6 mismatch";
        return {};
    }
    // Both scans walk the same sorted subkeys, so a connection has one position in both.
    NetworkInterfaceList found;
    for (int i = 0; i < ipv4.size(); ++i) {
        const QString& id = ipv4.at(i).first;
        found.append(NetworkInterface(id, connectionName(id), ipv4.at(i).second, ipv6.at(i).second));
        found.last().vpnConnection = isVpnConnection(id);
    }
    return found;
}

QSet<QString> UserResolvers::parseGuids(const QString& wmicOutput)
{
    QSet<QString> guids;
    const QStringList lines = wmicOutput.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QString text = line.simplified();
        if (text.startsWith(QLatin1Char('{'))) {
            guids.insert(text.toUpper());
        }
    }
    return guids;
}

QString UserResolvers::connectionName(const QString& guid)
{
    const std::unique_ptr<QSettings> key = Registry::openKey(connectionKey.arg(guid));
    if (key->value(QStringLiteral("PnPInstanceId")).toString() == kernelDebugInstanceId) {
        return QString();
    }
    return key->value(QStringLiteral("Name")).toString();
}

#ifdef Q_OS_WIN

UserResolvers::UserResolvers(QObject* parent)
    : QObject(parent)
    , guidQuery(QStringLiteral("wmic"),
          { QStringLiteral("nic"), QStringLiteral("where"), QStringLiteral("GUID is not null"), QStringLiteral("get"),
              QStringLiteral("GUID") },
          wmicTimeoutMs)
{
    // A missing, failing or hung wmic leaves no GUID known, so every connection is skipped.
    connect(&guidQuery, &CommandRun::finished, this, [this](const QString& output) {
        list = readConnections(parseGuids(output));
        emit refreshed();
    });
}

void UserResolvers::refresh()
{
    guidQuery.start();
}

bool UserResolvers::isRefreshing() const
{
    return guidQuery.isRunning();
}

#endif
