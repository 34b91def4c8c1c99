// The Linux side of the TUN device check: the driver answers TUNGETFEATURES.
#include "tundevice.h"

#ifndef Q_OS_WIN

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/if_tun.h>
#include <sys/ioctl.h>
#include <unistd.h>

QString TunDevice::unavailableReason(const QString& device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        return QStringLiteral("%1: %2").arg(device, QString::fromLocal8Bit(std::strerror(error)));
    }
    // Asks the driver what it supports, which creates no interface; any other device refuses.
    unsigned int features = 0;
    const bool isTun = ::ioctl(fd, TUNGETFEATURES, &features) == 0 && (features & IFF_TUN) != 0;
    ::close(fd);
    return isTun ? QString() : QStringLiteral("%1 is not the TUN/TAP device").arg(device);
}

#endif
