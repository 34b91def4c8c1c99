// The Windows side of the MTU: netsh on every TAP adapter. The arguments are built everywhere, so
// that they are tested here.
#include "mtu.h"

#ifdef Q_OS_WIN
#include "foundation/logtag.h"
#include "foundation/utils.h"
#endif

namespace Mtu {

QStringList netshArguments(qint32 interfaceIndex, qint32 mtu)
{
    const qint32 applied = mtu > 0 ? mtu : automaticMtu;
    return { QStringLiteral("interface"), QStringLiteral("ipv4"), QStringLiteral("set"), QStringLiteral("subinterface"),
        QString::number(interfaceIndex), QStringLiteral("mtu=%1").arg(applied), QStringLiteral("store=persistent") };
}

#ifdef Q_OS_WIN

void applyToAdapters(const NetworkAdapters& adapters, qint32 mtu, int timeoutMs)
{
    for (const NetworkAdapter& adapter : adapters) {
        const int code
            = Utils::runCommand(QStringLiteral("netsh"), netshArguments(adapter.index, mtu), timeoutMs).exitCode;
        tagged(qInfo(), QStringLiteral("Utils")) << "'Set mtu size' command finished with code: " << code;
    }
}

QStringList openVpnDirectives(qint32 mtu)
{
    Q_UNUSED(mtu)
    return {};
}

#endif

} // namespace Mtu
