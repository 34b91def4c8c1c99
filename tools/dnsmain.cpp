// dns: points the resolver at the tunnel's DNS servers and back, for vpn-service.
//     dns vpn GUID@IPV4,IPV6 ...     use the tunnel's servers
//     dns user [GUID@LIST ...]       put the user's resolver configuration back, byte for byte
//                                    (the entries only name it; odd ones are skipped)
// Rewrites /etc/resolv.conf as this process sees it (a network namespace's own file where
// "ip netns exec" mounted one). Exit code 0 on success, 1 when the file cannot be rewritten,
// 2 for bad arguments (nothing changed then).

#include "resolverconfig.h"
#include "toolsupport.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString tool = QStringLiteral("dns");

    ResolverConfig::Request request;
    QStringList warnings;
    const QString error = ResolverConfig::parse(app.arguments().mid(1), &request, &warnings);
    for (const QString& warning : qAsConst(warnings)) {
        ToolSupport::complain(tool, warning);
    }
    if (!error.isEmpty()) {
        ToolSupport::complain(tool, error);
        ToolSupport::complain(tool, QStringLiteral("usage: dns vpn GUID@IPV4,IPV6 ... | dns user GUID@LIST ..."));
        return ToolSupport::BadUsage;
    }
    if (request.mode == ResolverConfig::Request::Vpn && request.servers.isEmpty()) {
        ToolSupport::complain(tool, QStringLiteral("no DNS server given; the resolver stays as it is"));
    }

    bool changed = false;
    const QString failure = ResolverConfig::apply(QStringLiteral("/etc/resolv.conf"), request, &changed);
    if (!failure.isEmpty()) {
        ToolSupport::complain(tool, failure);
        return ToolSupport::Failed;
    }
    return ToolSupport::Success;
}
