#include "dnsmanager.h"

#include "foundation/logtag.h"
#include "foundation/utils.h"
#include "platform/programpaths.h"

namespace {

QString listText(const QStringList& servers)
{
    return QLatin1Char('(') + servers.join(QStringLiteral(", ")) + QLatin1Char(')');
}

} // namespace

DnsManager::DnsManager(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("DnsManager"));
    connect(&resolvers, &UserResolvers::refreshed, this, [this] {
        useConnections(resolvers.connections());
    });
}

void DnsManager::refresh()
{
    resolvers.refresh();
}

bool DnsManager::isRefreshing() const
{
    return resolvers.isRefreshing();
}

void DnsManager::useConnections(const NetworkInterfaceList& connections)
{
    interfaceList = connections;
    logInterfaces();
    emit refreshed();
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

QString DnsManager::dnsToolPath()
{
    return ProgramPaths::dns();
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
