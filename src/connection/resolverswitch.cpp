#include "resolverswitch.h"

#include "foundation/logtag.h"
#include "protocol/toolwords.h"

#include <utility>

namespace {
// Its lines are the connection controller's.
const QString tag = QStringLiteral("VpnCore");
} // namespace

ResolverSwitch::ResolverSwitch(ServiceLink* link, QObject* parent)
    : QObject(parent)
    , dnsToolProcess(QStringLiteral("dns"), link)
{
    connect(&dnsManager, &DnsManager::refreshed, this, &ResolverSwitch::onUserDnsRefreshed);
}

void ResolverSwitch::readUserResolvers()
{
    dnsManager.refresh();
}

void ResolverSwitch::setPushed(const QString& ipv4, const QString& ipv6)
{
    pushedIpv4 = ipv4;
    pushedIpv6 = ipv6;
}

void ResolverSwitch::forgetPushed()
{
    pushedIpv4.clear();
    pushedIpv6.clear();
}

void ResolverSwitch::useTunnel()
{
    if (pushedIpv4.isEmpty() && pushedIpv6.isEmpty()) {
        tagged(qInfo(), tag) << "No DNS server pushed, resolvers left as they are";
        return;
    }
    whenUserDnsKnown([this, ipv4 = pushedIpv4, ipv6 = pushedIpv6] {
        dnsToolProcess.start(
            QStringList { DnsManager::dnsToolPath() } + ToolWords::dnsVpn(dnsManager.vpnDnsSettings(ipv4, ipv6)));
    });
}

void ResolverSwitch::restoreUser()
{
    whenUserDnsKnown([this] {
        dnsToolProcess.start(QStringList { DnsManager::dnsToolPath() } + ToolWords::dnsUser(userDnsSettings));
    });
}

void ResolverSwitch::onUserDnsRefreshed()
{
    userDnsSettings = dnsManager.userDnsSettings();
    tagged(qInfo(), tag) << "User DNS: (" << userDnsSettings.join(QStringLiteral(", ")) << ")";
    if (afterUserDns) {
        const std::function<void()> step = std::move(afterUserDns);
        afterUserDns = nullptr;
        step();
    }
}

void ResolverSwitch::whenUserDnsKnown(std::function<void()> step)
{
    if (dnsManager.isRefreshing()) {
        afterUserDns = std::move(step);
        return;
    }
    step();
}
