// The Windows side of the network lock. The filtering platform's filters are not written yet: the
// request is refused, so the service reports the lock as failed instead of the user believing it held.
#include "networklock.h"

#ifdef Q_OS_WIN

namespace NetworkLock {

QString apply(const KillSwitchRules::Request&)
{
    return QStringLiteral("the network lock is not available on this system");
}

} // namespace NetworkLock

#endif
