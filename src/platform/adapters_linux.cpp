// The Linux side of adapter discovery: the kernel's own answers, no command to run.
#include "adapters.h"

#ifndef Q_OS_WIN

#include <QTimer>

#include <algorithm>
#include <cstring>

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

void AdapterDiscovery::discover()
{
    if (isDiscovering()) {
        return;
    }
    pending = true;
    adapterList.clear();
    // Answered from the event loop, as on Windows: the caller connects after asking. Whether TUN can
    // be opened is the service's concern (it opens it, the client need not be able to).
    QTimer::singleShot(0, this, [this] {
        finish(tunInterfaces(), QString());
    });
}

NetworkAdapters AdapterDiscovery::tunInterfaces()
{
    NetworkAdapters found;
    // The interfaces of this process's network namespace (sysfs may show another one's).
    struct if_nameindex* names = ::if_nameindex();
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    for (struct if_nameindex* entry = names; entry != nullptr && entry->if_index != 0; ++entry) {
        // The driver's name, which every TUN/TAP interface reports as "tun".
        struct ethtool_drvinfo info = {};
        info.cmd = ETHTOOL_GDRVINFO;
        struct ifreq request = {};
        std::strncpy(request.ifr_name, entry->if_name, IFNAMSIZ - 1);
        request.ifr_data = reinterpret_cast<char*>(&info);
        if (probe >= 0 && ::ioctl(probe, SIOCETHTOOL, &request) == 0
            && std::strncmp(info.driver, "tun", sizeof info.driver) == 0) {
            found.append(NetworkAdapter { QString::fromLocal8Bit(entry->if_name), qint32(entry->if_index) });
        }
    }
    if (probe >= 0) {
        ::close(probe);
    }
    if (names != nullptr) {
        ::if_freenameindex(names);
    }
    std::sort(found.begin(), found.end(), [](const NetworkAdapter& a, const NetworkAdapter& b) {
        return a.index < b.index;
    });
    return found;
}

#endif
