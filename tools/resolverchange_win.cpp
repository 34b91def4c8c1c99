// The Windows side of the resolver change. The interfaces' registry keys are not written yet: the
// request is refused, so the service reports the change as failed instead of pretending it happened.
#include "resolverchange.h"

#ifdef Q_OS_WIN

namespace ResolverChange {

QStringList apply(const ResolverConfig::Request&)
{
    return { QStringLiteral("changing the resolvers is not available on this system") };
}

} // namespace ResolverChange

#endif
