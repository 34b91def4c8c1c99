// The Windows side of the tunnel adapters: a TAP adapter without its OpenVPN reports its medium
// disconnected, and Windows no longer routes through it, so there is nothing to put back.
#include "tunneladapters.h"

#ifdef Q_OS_WIN

QStringList TunnelAdapters::freeAdapters()
{
    return {};
}

QStringList TunnelAdapters::clearFreeAdapters()
{
    return {};
}

#endif
