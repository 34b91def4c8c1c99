// The Linux side of the service check: the owner of the service's listener, from the kernel.
#include "servicepresence.h"

#ifndef Q_OS_WIN

#include <QTimer>

namespace {

constexpr quint16 servicePort = 6447;

} // namespace

void checkVpnServiceRunning(QObject* context, const std::function<void(bool)>& done, int timeoutMs)
{
    // A lookup, not a connection: the service would take a connection for a client's and
    // refuse users outside its group, which is not what is asked here.
    Q_UNUSED(timeoutMs)
    QTimer::singleShot(0, context, [done] {
        QString holder;
        done(servicePortHolder(servicePort, &holder) == PortHolder::Service);
    });
}

#endif
