// The Linux side of the MTU: OpenVPN sets it on the interface it makes.
#include "mtu.h"

#ifndef Q_OS_WIN

namespace Mtu {

void applyToAdapters(const NetworkAdapters& adapters, qint32 mtu, int timeoutMs)
{
    Q_UNUSED(adapters)
    Q_UNUSED(mtu)
    Q_UNUSED(timeoutMs)
}

QStringList openVpnDirectives(qint32 mtu)
{
    if (mtu <= 0) {
        return {};
    }
    return { QStringLiteral("tun-mtu %1").arg(mtu) };
}

} // namespace Mtu

#endif
