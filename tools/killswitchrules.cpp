#include "killswitchrules.h"

#include "protocol/toolwords.h"
#include "toolsupport.h"

namespace KillSwitchRules {

const char* const tableFamily = "inet";

namespace {

// Private, link-local and multicast ranges: shares, printers and their discovery. IPv6 multicast
// only with link and site scope: wider scopes are routed.
const char* const localIpv4 = "{ 10.0.0.0/8, 172.16.0.0/12, 192.168.0.0/16, 169.254.0.0/16, 224.0.0.0/4, "
                              "255.255.255.255 }";
const char* const localIpv6 = "{ fe80::/10, fc00::/7, ff02::/16, ff05::/16 }";

// Neighbour discovery (hop limit 255) and multicast listener reports (hop limit 1) never cross a
// router: the hop limit proves they stay on the link.
const char* const linkIcmpv6 = "icmpv6 type { nd-router-solicit, nd-router-advert, nd-neighbor-solicit, "
                               "nd-neighbor-advert, nd-redirect } ip6 hoplimit 255 accept\n"
                               "icmpv6 type { mld-listener-query, mld-listener-report, mld-listener-done, "
                               "mld2-listener-report } ip6 hoplimit 1 accept";

// DNS leaves only through the tunnel: a resolver of the local network or one reached beside the
// tunnel would learn every name the user looks up.
const char* const dnsOutside = "meta l4proto { tcp, udp } th dport { 53, 853 } drop";

constexpr int maxAddresses = 1024;

struct Chain
{
    const char* name;
    const char* interfaceWord; // where the packet leaves (output) or arrives (input)
    const char* addressWord; // the far end's address
    const char* dhcp; // the machine's own DHCP and DHCPv6 leases
};

// A base chain that drops what its rules do not accept.
void addChain(QStringList* lines, const QString& hook, const QStringList& rules)
{
    *lines << QStringLiteral("    chain %1 {").arg(hook)
           << QStringLiteral("        type filter hook %1 priority 0; policy drop;").arg(hook);
    for (const QString& rule : rules) {
        lines->append(QStringLiteral("        ") + rule);
    }
    lines->append(QStringLiteral("    }"));
}

} // namespace

QString tableName(Request::Scope scope)
{
    switch (scope) {
    case Request::Lock:
        return QStringLiteral("vpnc_killswitch");
    case Request::Tunnel:
        return QStringLiteral("vpnc_tunnel");
    case Request::Lockdown:
        return QStringLiteral("vpnc_lockdown");
    case Request::Everything:
        break;
    }
    return QString();
}

QString parse(const QStringList& arguments, Request* request)
{
    if (arguments.size() < 2) {
        return QStringLiteral("no command");
    }
    const QString& action = arguments.at(0);
    const QString& what = arguments.at(1);
    const struct
    {
        const QString& word;
        Request::Scope scope;
    } scopes[] = { { ToolWords::all, Request::Lock }, { ToolWords::tunnel, Request::Tunnel },
        { ToolWords::lockdown, Request::Lockdown }, { ToolWords::lock, Request::Lock } };
    Request parsed;
    bool known = false;
    for (const auto& scope : scopes) {
        if (what == scope.word) {
            parsed.scope = scope.scope;
            known = true;
            break;
        }
    }
    if (action == ToolWords::disable) {
        if (arguments.size() != 2 || !known) {
            return QStringLiteral("\"%1\" takes one of \"%2\", \"%3\", \"%4\", \"%5\"")
                .arg(action, ToolWords::all, ToolWords::lock, ToolWords::tunnel, ToolWords::lockdown);
        }
        parsed.action = Request::Disable;
        if (what == ToolWords::all) {
            parsed.scope = Request::Everything;
        }
        *request = parsed;
        return QString();
    }
    if (action != ToolWords::enable) {
        return QStringLiteral("unknown command \"%1\"").arg(action);
    }
    if (!known || what == ToolWords::lock) {
        return QStringLiteral("\"%1\" takes \"%2\", \"%3\" or \"%4\"")
            .arg(action, ToolWords::all, ToolWords::tunnel, ToolWords::lockdown);
    }
    QStringList rest = arguments.mid(2);
    if (parsed.scope == Request::Lockdown) {
        // The addresses, then "local" when the local network stays reachable.
        parsed.allowLocal = !rest.isEmpty() && rest.last() == ToolWords::local;
        if (parsed.allowLocal) {
            rest.removeLast();
        }
        if (rest.size() > maxAddresses) {
            return QStringLiteral("more than %1 addresses").arg(maxAddresses);
        }
    } else {
        if (rest.isEmpty() || rest.size() > 2) {
            return QStringLiteral("\"enable %1\" takes the VPN server address and optionally \"local\"").arg(what);
        }
        // The client always sends the fourth word; empty means the local network is locked out too.
        const QString local = rest.value(1);
        if (!local.isEmpty() && local != ToolWords::local) {
            return QStringLiteral("\"%1\" is not \"%2\"").arg(local, ToolWords::local);
        }
        parsed.allowLocal = local == ToolWords::local;
        rest = rest.mid(0, 1);
    }
    for (const QString& server : rest) {
        if (!ToolSupport::isStrictIpv4(server) && !ToolSupport::isStrictIpv6(server)) {
            return QStringLiteral("\"%1\" is not an IPv4 or IPv6 address").arg(server);
        }
    }
    parsed.action = Request::Enable;
    parsed.servers = rest;
    *request = parsed;
    return QString();
}

QString nftScript(const Request& request)
{
    QStringList scopes { tableName(request.scope) };
    if (request.scope == Request::Everything) {
        scopes = QStringList { tableName(Request::Lock), tableName(Request::Tunnel), tableName(Request::Lockdown) };
    }
    QStringList lines;
    if (request.action == Request::Disable) {
        for (const QString& name : scopes) {
            // Adding first makes the delete succeed when the table is not there.
            const QString table = QStringLiteral("%1 %2").arg(QLatin1String(tableFamily), name);
            lines << QStringLiteral("add table %1").arg(table) << QStringLiteral("delete table %1").arg(table);
        }
        return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    const QString table = QStringLiteral("%1 %2").arg(QLatin1String(tableFamily), scopes.first());
    // A change of server swaps the rules in one transaction while the chains stay hooked with their
    // drop policy: deleting and re-creating the table instead lets a packet through now and then.
    lines << QStringLiteral("add table %1").arg(table) << QStringLiteral("flush table %1").arg(table);

    QStringList servers4, servers6;
    for (const QString& server : request.servers) {
        (ToolSupport::isStrictIpv4(server) ? servers4 : servers6).append(server);
    }
    const Chain chains[] = {
        { "output", "oifname", "daddr", "udp sport 68 udp dport 67 accept\nudp sport 546 udp dport 547 accept" },
        { "input", "iifname", "saddr", "udp sport 67 udp dport 68 accept\nudp sport 547 udp dport 546 accept" },
    };
    lines << QStringLiteral("table %1 {").arg(table);
    for (const Chain& chain : chains) {
        const QString interfaceWord = QLatin1String(chain.interfaceWord);
        const QString addressWord = QLatin1String(chain.addressWord);
        QStringList rules { QStringLiteral("%1 \"lo\" accept").arg(interfaceWord),
            QStringLiteral("%1 \"tun*\" accept").arg(interfaceWord),
            QStringLiteral("%1 \"tap*\" accept").arg(interfaceWord) };
        if (!servers4.isEmpty()) {
            rules << QStringLiteral("ip %1 { %2 } accept").arg(addressWord, servers4.join(QStringLiteral(", ")));
        }
        if (!servers6.isEmpty()) {
            rules << QStringLiteral("ip6 %1 { %2 } accept").arg(addressWord, servers6.join(QStringLiteral(", ")));
        }
        rules << QLatin1String(chain.dhcp) << QLatin1String(linkIcmpv6);
        if (request.allowLocal) {
            if (QLatin1String(chain.name) == QLatin1String("output")) {
                rules << QLatin1String(dnsOutside);
            }
            rules << QStringLiteral("ip %1 %2 accept").arg(addressWord, QLatin1String(localIpv4))
                  << QStringLiteral("ip6 %1 %2 accept").arg(addressWord, QLatin1String(localIpv6));
        }
        addChain(&lines, QLatin1String(chain.name), rules);
    }
    // Containers and virtual machines behind the machine: into the tunnel, its answers back, and
    // with "local" between local ranges only (a private source alone is no proof: a container's
    // own address is private too).
    QStringList forward { QStringLiteral("oifname \"tun*\" accept"), QStringLiteral("oifname \"tap*\" accept"),
        QStringLiteral("iifname { \"tun*\", \"tap*\" } ct state established,related accept") };
    if (request.allowLocal) {
        forward << QStringLiteral("ip saddr %1 ip daddr %1 accept").arg(QLatin1String(localIpv4))
                << QStringLiteral("ip6 saddr %1 ip6 daddr %1 accept").arg(QLatin1String(localIpv6));
    }
    addChain(&lines, QStringLiteral("forward"), forward);
    lines << QStringLiteral("}");
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace KillSwitchRules
