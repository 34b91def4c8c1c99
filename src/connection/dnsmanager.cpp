#include "dnsmanager.h"

#include "foundation/logtag.h"
#include "foundation/utils.h"
#include "platform/programpaths.h"
#include "platform/registry.h"

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

QString listText(const QStringList& servers)
{
    return QLatin1Char('(') + servers.join(QStringLiteral(", ")) + QLatin1Char(')');
}

} // namespace

NetworkInterface::NetworkInterface(
    const QString& id, const QString& name, const QStringList& ipv4DnsServers, const QStringList& ipv6DnsServers)
    : ipv4DnsServers(ipv4DnsServers)
    , ipv6DnsServers(ipv6DnsServers)
    , id(id)
    , name(name)
{
    detectVpnConnection();
}

void NetworkInterface::detectVpnConnection()
{
    const std::unique_ptr<QSettings> adapters = Registry::openKey(adapterClassKey);
    const QStringList subkeys = adapters->childGroups();
    for (const QString& subkey : subkeys) {
        adapters->beginGroup(subkey);
        const QStringList names = adapters->childKeys();
        for (const QString& valueName : names) {
            if (valueName == QLatin1String("MatchingDeviceId") && adapters->value(valueName).toString() == tapDeviceId
                && adapters->value(QStringLiteral("NetCfgInstanceId")).toString().toLower() == id.toLower()) {
                vpnConnection = true;
            }
        }
        adapters->endGroup();
    }
}

DnsManager::DnsManager(QObject* parent)
    : QObject(parent)
    , guidQuery(QStringLiteral("wmic"),
          { QStringLiteral("nic"), QStringLiteral("where"), QStringLiteral("GUID is not null"), QStringLiteral("get"),
              QStringLiteral("GUID") },
          wmicTimeoutMs)
{
    setObjectName(QStringLiteral("DnsManager"));
    connect(&childProcess, &ChildProcess::processFinished, this, &DnsManager::onProcessFinished);
    // A missing, failing or hung wmic leaves no GUID known, so every connection is skipped.
    connect(&guidQuery, &CommandRun::finished, this, [this](const QString& output) {
        readInterfaces(parseGuids(output));
        logInterfaces();
        emit refreshed();
    });
}

void DnsManager::refresh()
{
    guidQuery.start();
}

bool DnsManager::isRefreshing() const
{
    return guidQuery.isRunning();
}

QStringList DnsManager::userDnsSettings() const
{
    QStringList entries;
    entries.reserve(interfaceList.size());
    for (const NetworkInterface& entry : interfaceList) {
        QStringList servers;
        if (!entry.ipv4DnsServers.isEmpty()) {
            servers.append(entry.ipv4DnsServers.join(QLatin1Char(',')));
        }
        if (!entry.ipv6DnsServers.isEmpty()) {
            servers.append(entry.ipv6DnsServers.join(QLatin1Char(',')));
        }
        entries.append(QStringLiteral("%1@%2").arg(entry.id, servers.join(QLatin1Char(','))));
    }
    return entries;
}

QStringList DnsManager::vpnDnsSettings(const QString& ipv4Dns, const QString& ipv6Dns) const
{
    QStringList entries;
    entries.reserve(interfaceList.size());
    for (const NetworkInterface& entry : interfaceList) {
        entries.append(QStringLiteral("%1@%2,%3").arg(entry.id, ipv4Dns, ipv6Dns));
    }
    return entries;
}

NetworkInterfaceList DnsManager::interfaces() const
{
    return interfaceList;
}

QString DnsManager::dnsToolPath()
{
    return ProgramPaths::dns();
}

void DnsManager::readInterfaces(const QSet<QString>& knownGuids)
{
    interfaceList.clear();
    const NetworkInterfaceList ipv4 = readDnsServers(ipv4InterfacesKey, knownGuids, Family::IPv4);
    const NetworkInterfaceList ipv6 = readDnsServers(ipv6InterfacesKey, knownGuids, Family::IPv6);
    if (ipv4.size() != ipv6.size()) {
        tagged(qCritical(), objectName()) << "DNS internal issue: Ipv4/Ipv6 mismatch";
        return;
    }
    // Both scans walk the same sorted subkeys, so a connection has one position in both.
    for (int i = 0; i < ipv4.size(); ++i) {
        interfaceList.append(
            NetworkInterface(ipv4.at(i).id, ipv4.at(i).name, ipv4.at(i).ipv4DnsServers, ipv6.at(i).ipv6DnsServers));
    }
}

QSet<QString> DnsManager::parseGuids(const QString& wmicOutput)
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

NetworkInterfaceList DnsManager::readDnsServers(
    const QString& interfacesKey, const QSet<QString>& knownGuids, Family family)
{
    NetworkInterfaceList records;
    const std::unique_ptr<QSettings> key = Registry::openKey(interfacesKey);
    const QStringList subkeys = key->childGroups();
    for (const QString& guid : subkeys) {
        const QString name = connectionName(guid);
        if (name.isEmpty() || !knownGuids.contains(guid.toUpper())) {
            continue;
        }
        key->beginGroup(guid);
        const QString value = key->value(dnsValueName).toString();
        key->endGroup();
        // Empty parts stay: the tool gets the list exactly as the registry holds it.
        const QStringList servers = value.isEmpty() ? QStringList() : value.split(QLatin1Char(','));
        if (family == Family::IPv4) {
            records.append(NetworkInterface(guid, name, servers, QStringList()));
        } else {
            records.append(NetworkInterface(guid, name, QStringList(), servers));
        }
    }
    return records;
}

QString DnsManager::connectionName(const QString& guid)
{
    const std::unique_ptr<QSettings> key = Registry::openKey(connectionKey.arg(guid));
    if (key->value(QStringLiteral("PnPInstanceId")).toString() == kernelDebugInstanceId) {
        return QString();
    }
    return key->value(QStringLiteral("Name")).toString();
}

void DnsManager::logInterfaces() const
{
    for (const NetworkInterface& entry : interfaceList) {
        tagged(qInfo(), objectName()) << "ID: " << entry.id << ", name: '" << entry.name << "', VPN connection: '"
                                      << Utils::boolToString(entry.vpnConnection)
                                      << "', IPv4 DNS: " << listText(entry.ipv4DnsServers)
                                      << ", IPv6 DNS: " << listText(entry.ipv6DnsServers);
    }
}

void DnsManager::onProcessFinished(bool success)
{
    tagged(qInfo(), objectName()) << "Process finished, success: " << Utils::boolToString(success);
}
