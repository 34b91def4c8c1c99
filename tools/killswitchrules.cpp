#include "killswitchrules.h"

#include "toolsupport.h"

namespace KillSwitchRules {

const char* const tableFamily = "inet";
const char* const tableName = "vpnc_killswitch";

namespace {

// Private, link-local and multicast ranges: shares, printers and their discovery.
const char* const localIpv4 = "{ 10.0.0.0/8, 172.16.0.0/12, 192.168.0.0/16, 169.254.0.0/16, 224.0.0.0/4, "
                              "255.255.255.255 }";
const char* const localIpv6 = "{ fc00::/7, fe80::/10, ff00::/8 }";

} // namespace

QString parse(const QStringList& arguments, Request* request)
{
    if (arguments.isEmpty()) {
        return QStringLiteral("no command");
    }
    const QString& action = arguments.at(0);
    if (action == QLatin1String("disable")) {
        if (arguments.size() != 2 || arguments.at(1) != QLatin1String("all")) {
            return QStringLiteral("\"disable\" takes exactly one argument, \"all\"");
        }
        request->action = Request::Disable;
        return QString();
    }
    if (action != QLatin1String("enable")) {
        return QStringLiteral("unknown command \"%1\"").arg(action);
    }
    if (arguments.size() < 3 || arguments.size() > 4 || arguments.at(1) != QLatin1String("all")) {
        return QStringLiteral("\"enable\" takes \"all\", the VPN server address and optionally \"local\"");
    }
    const QString& server = arguments.at(2);
    if (!ToolSupport::isStrictIpv4(server) && !ToolSupport::isStrictIpv6(server)) {
        return QStringLiteral("\"%1\" is not an IPv4 or IPv6 address").arg(server);
    }
    // The client always sends the fourth word; empty means the local network is locked out too.
    const QString local = arguments.size() == 4 ? arguments.at(3) : QString();
    if (!local.isEmpty() && local != QLatin1String("local")) {
        return QStringLiteral("\"%1\" is not \"local\"").arg(local);
    }
    request->action = Request::Enable;
    request->server = server;
    request->allowLocal = local == QLatin1String("local");
    return QString();
}

QString nftScript(const Request& request)
{
    const QString table = QStringLiteral("%1 %2").arg(QLatin1String(tableFamily), QLatin1String(tableName));
    // Adding first makes the delete succeed when no lock is in place.
    QStringList lines { QStringLiteral("add table %1").arg(table), QStringLiteral("delete table %1").arg(table) };
    if (request.action == Request::Disable) {
        return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }

    const QString family = ToolSupport::isStrictIpv4(request.server) ? QStringLiteral("ip") : QStringLiteral("ip6");
    lines << QStringLiteral("table %1 {").arg(table);
    const struct
    {
        const char* name;
        const char* direction; // the interface and address words of this hook
        const char* interfaceWord;
        const char* addressWord;
        const char* dhcp;
    } chains[] = {
        { "output", "output", "oifname", "daddr", "udp sport 68 udp dport 67 accept" },
        { "input", "input", "iifname", "saddr", "udp sport 67 udp dport 68 accept" },
    };
    for (const auto& chain : chains) {
        const QString interfaceWord = QLatin1String(chain.interfaceWord);
        const QString addressWord = QLatin1String(chain.addressWord);
        lines << QStringLiteral("    chain %1 {").arg(QLatin1String(chain.name))
              << QStringLiteral("        type filter hook %1 priority 0; policy drop;")
                     .arg(QLatin1String(chain.direction))
              << QStringLiteral("        %1 \"lo\" accept").arg(interfaceWord)
              << QStringLiteral("        %1 \"tun*\" accept").arg(interfaceWord)
              << QStringLiteral("        %1 \"tap*\" accept").arg(interfaceWord)
              << QStringLiteral("        %1 %2 %3 accept").arg(family, addressWord, request.server)
              // The uplink's own lease and neighbour discovery keep the way to the server open.
              << QStringLiteral("        %1").arg(QLatin1String(chain.dhcp))
              << QStringLiteral("        icmpv6 type { nd-neighbor-solicit, nd-neighbor-advert, nd-router-solicit, "
                                "nd-router-advert } accept");
        if (request.allowLocal) {
            lines << QStringLiteral("        ip %1 %2 accept").arg(addressWord, QLatin1String(localIpv4))
                  << QStringLiteral("        ip6 %1 %2 accept").arg(addressWord, QLatin1String(localIpv6));
        }
        lines << QStringLiteral("    }");
    }
    lines << QStringLiteral("}");
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace KillSwitchRules
