#include "resolvers.h"

NetworkInterface::NetworkInterface(
    const QString& id, const QString& name, const QStringList& ipv4DnsServers, const QStringList& ipv6DnsServers)
    : ipv4DnsServers(ipv4DnsServers)
    , ipv6DnsServers(ipv6DnsServers)
    , id(id)
    , name(name)
{ }

NetworkInterfaceList UserResolvers::connections() const
{
    return list;
}
