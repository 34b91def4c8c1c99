#include "wfpfilters.h"

#include "toolsupport.h"

#include <QHostAddress>

namespace WfpFilters {

namespace {

using Request = KillSwitchRules::Request;

// Heavier rows decide first inside a sublayer: what must pass comes before the DNS block, which
// comes before the local ranges, which come before the final block.
enum Weight : quint8
{
    blockAll = 0,
    localRange = 9,
    dnsOutside = 10,
    linkIcmpv6 = 11,
    dhcp = 12,
    server = 13,
    tunnel = 14,
    loopback = 15
};

constexpr quint64 udp = 17, tcp = 6, icmpv6 = 58;

// The same private, link-local and multicast ranges as the nftables tables.
const struct
{
    const char* address;
    int prefix;
} localRanges[]
    = { { "10.0.0.0", 8 }, { "172.16.0.0", 12 }, { "192.168.0.0", 16 }, { "169.254.0.0", 16 }, { "224.0.0.0", 4 },
          { "255.255.255.255", 32 }, { "fe80::", 10 }, { "fc00::", 7 }, { "ff02::", 16 }, { "ff05::", 16 } };

bool isV6(Layer layer)
{
    return layer == Layer::ConnectV6 || layer == Layer::RecvAcceptV6;
}

QByteArray addressBytes(const QHostAddress& address)
{
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 value = address.toIPv4Address();
        const char bytes[] = { char(value >> 24), char(value >> 16), char(value >> 8), char(value) };
        return QByteArray(bytes, 4);
    }
    const Q_IPV6ADDR value = address.toIPv6Address();
    return QByteArray(reinterpret_cast<const char*>(value.c), 16);
}

Condition range(Field field, quint64 low, quint64 high)
{
    Condition condition;
    condition.field = field;
    condition.low = low;
    condition.high = high;
    return condition;
}

Condition remote(const QByteArray& address, int prefix)
{
    Condition condition;
    condition.field = Field::RemoteAddress;
    condition.address = address;
    condition.prefix = prefix;
    return condition;
}

class Builder
{
public:
    explicit Builder(const QUuid& sublayer)
        : sublayer(sublayer)
    { }

    void add(Layer layer, Action action, quint8 weight, const QVector<Condition>& conditions, const QString& name)
    {
        Filter filter;
        // The sublayer's key with the row's number in its last two bytes: the same request gives
        // the same keys, and no row's key is another set's.
        filter.key = sublayer;
        const int number = filters.size() + 1;
        filter.key.data4[6] = uchar(number >> 8);
        filter.key.data4[7] = uchar(number);
        filter.layer = layer;
        filter.action = action;
        filter.weight = weight;
        filter.conditions = conditions;
        filter.name = name;
        filters.append(filter);
    }

    QVector<Filter> filters;

private:
    QUuid sublayer;
};

} // namespace

bool Condition::operator==(const Condition& other) const
{
    return field == other.field && address == other.address && prefix == other.prefix && low == other.low
        && high == other.high;
}

bool Footprint::operator==(const Footprint& other) const
{
    return key == other.key && layer == other.layer && action == other.action && conditions == other.conditions;
}

QUuid sublayerKey(Request::Scope scope)
{
    switch (scope) {
    case Request::Lock:
        return QUuid(QStringLiteral("{cd524171-b0c0-4b04-b70e-c47ed52d0000}"));
    case Request::Tunnel:
        return QUuid(QStringLiteral("{01c72b5a-2154-4eff-a26d-f1bd622b0000}"));
    case Request::Lockdown:
        return QUuid(QStringLiteral("{f54ded21-5a19-47dd-8167-c8385a650000}"));
    case Request::Everything:
        break;
    }
    return QUuid();
}

QVector<Request::Scope> scopes(const Request& request)
{
    if (request.scope == Request::Everything) {
        return { Request::Lock, Request::Tunnel, Request::Lockdown };
    }
    return { request.scope };
}

Set filters(const Request& request, const QVector<quint64>& tunnelInterfaces)
{
    Set set;
    if (request.action == Request::Disable || request.scope == Request::Everything) {
        return set;
    }
    if (request.scope != Request::Lockdown && request.servers.isEmpty()) {
        set.error = QStringLiteral("no VPN server address: the lock would keep the tunnel from its server");
        return set;
    }
    QVector<QHostAddress> servers;
    for (const QString& text : request.servers) {
        if (!ToolSupport::isStrictIpv4(text) && !ToolSupport::isStrictIpv6(text)) {
            set.error = QStringLiteral("\"%1\" is not an IPv4 or IPv6 address").arg(text);
            return set;
        }
        servers.append(QHostAddress(text));
    }

    Builder out(sublayerKey(request.scope));
    const Layer layers[] = { Layer::ConnectV4, Layer::ConnectV6, Layer::RecvAcceptV4, Layer::RecvAcceptV6 };
    for (const Layer layer : layers) {
        const bool v6 = isV6(layer);
        out.add(layer, Action::Permit, loopback, { range(Field::Loopback, 0, 0) }, QStringLiteral("loopback"));
        for (const quint64 luid : tunnelInterfaces) {
            out.add(layer, Action::Permit, tunnel, { range(Field::LocalInterface, luid, luid) },
                QStringLiteral("tunnel adapter"));
        }
        for (const QHostAddress& address : servers) {
            if ((address.protocol() == QAbstractSocket::IPv6Protocol) == v6) {
                out.add(layer, Action::Permit, server, { remote(addressBytes(address), v6 ? 128 : 32) },
                    QStringLiteral("VPN server"));
            }
        }
        // The machine's own lease: the client's port to the server's, both directions.
        const quint64 client = v6 ? 546 : 68, leaseServer = v6 ? 547 : 67;
        out.add(layer, Action::Permit, dhcp,
            { range(Field::Protocol, udp, udp), range(Field::LocalPort, client, client),
                range(Field::RemotePort, leaseServer, leaseServer) },
            v6 ? QStringLiteral("DHCPv6") : QStringLiteral("DHCP"));
        if (v6) {
            // Multicast listener messages (130 to 132, 143) and neighbour discovery (133 to 137).
            out.add(layer, Action::Permit, linkIcmpv6,
                { range(Field::Protocol, icmpv6, icmpv6), range(Field::IcmpType, 130, 137),
                    range(Field::IcmpType, 143, 143) },
                QStringLiteral("neighbour discovery"));
        }
        if (request.allowLocal) {
            if (layer == Layer::ConnectV4 || layer == Layer::ConnectV6) {
                // Names are asked only through the tunnel, not of a resolver on the local network.
                out.add(layer, Action::Block, dnsOutside,
                    { range(Field::Protocol, tcp, tcp), range(Field::Protocol, udp, udp),
                        range(Field::RemotePort, 53, 53), range(Field::RemotePort, 853, 853) },
                    QStringLiteral("DNS beside the tunnel"));
            }
            for (const auto& local : localRanges) {
                const QHostAddress address(QLatin1String(local.address));
                if ((address.protocol() == QAbstractSocket::IPv6Protocol) == v6) {
                    out.add(layer, Action::Permit, localRange, { remote(addressBytes(address), local.prefix) },
                        QStringLiteral("local network"));
                }
            }
        }
        out.add(layer, Action::Block, blockAll, {}, QStringLiteral("everything else"));
    }
    set.filters = out.filters;
    return set;
}

Footprint footprint(const Filter& filter)
{
    Footprint print;
    print.key = filter.key;
    print.layer = filter.layer;
    print.action = filter.action;
    print.conditions = filter.conditions.size();
    return print;
}

QString verify(const QVector<Filter>& written, const QVector<Footprint>& held)
{
    QVector<Footprint> left = held;
    int missing = 0;
    for (const Filter& filter : written) {
        const int at = left.indexOf(footprint(filter));
        if (at < 0) {
            ++missing;
        } else {
            left.remove(at);
        }
    }
    if (missing == 0 && left.isEmpty()) {
        return QString();
    }
    return QStringLiteral("the filtering platform holds %1 of the %2 filters written and %3 others")
        .arg(written.size() - missing)
        .arg(written.size())
        .arg(left.size());
}

} // namespace WfpFilters
