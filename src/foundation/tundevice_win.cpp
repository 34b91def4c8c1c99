// The Windows side of the TUN device check: the client finds its TAP adapters itself, so nothing is
// asked of the service here.
#include "tundevice.h"

#ifdef Q_OS_WIN

QString TunDevice::unavailableReason(const QString&)
{
    return QString();
}

#endif
