// The Linux side of the resolver change: resolved's links or the resolv.conf file this process sees.
#include "resolverchange.h"

#ifndef Q_OS_WIN

#include "resolvedlinks.h"

namespace ResolverChange {

QStringList apply(const ResolverConfig::Request& request)
{
    const ResolvedLinks::Host host = ResolvedLinks::systemHost();
    QStringList failures;
    bool changed = false;
    if (request.mode == ResolverConfig::Request::User) {
        // Either may hold the tunnel's servers: resolved may have started or stopped meanwhile.
        failures << ResolverConfig::apply(host.resolvConf, request, &changed) << ResolvedLinks::apply(host, request);
    } else if (ResolvedLinks::isActive(host)) {
        failures << ResolvedLinks::apply(host, request);
    } else {
        failures << ResolverConfig::apply(host.resolvConf, request, &changed);
    }
    failures.removeAll(QString());
    return failures;
}

} // namespace ResolverChange

#endif
