// dns: points the resolver at the tunnel's DNS servers and back, for vpn-service.
//     dns vpn ID@IPV4,IPV6 ...     use the tunnel's servers
//     dns user [ID@LIST ...]       put the user's resolver configuration back
//                                  (the entries only name it; odd ones are skipped)
// ID: a connection's GUID in braces, or an interface name.
// How the system's resolvers change is the door's (resolverchange.h). On Linux, where systemd-resolved
// answers the host's names, the tunnel's interface (one named by an ID, or the one OpenVPN holds)
// gets the servers through resolvectl, and "user" reverts the links it configured. Otherwise
// /etc/resolv.conf is rewritten as this process sees it (a network namespace's own file where
// "ip netns exec" mounted one), and "user" puts the user's file back byte for byte.
// Exit code 0 on success, 1 when the change failed, 2 for bad arguments (nothing changed then).

#include "resolverchange.h"
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
        ToolSupport::complain(tool, QStringLiteral("usage: dns vpn ID@IPV4,IPV6 ... | dns user ID@LIST ..."));
        return ToolSupport::BadUsage;
    }
    if (request.mode == ResolverConfig::Request::Vpn && request.servers.isEmpty()) {
        ToolSupport::complain(tool, QStringLiteral("no DNS server given; the resolver stays as it is"));
    }

    const QStringList failures = ResolverChange::apply(request);
    for (const QString& failure : qAsConst(failures)) {
        ToolSupport::complain(tool, failure);
    }
    return failures.isEmpty() ? ToolSupport::Success : ToolSupport::Failed;
}
