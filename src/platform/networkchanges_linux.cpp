#include "networkchanges.h"

#ifndef Q_OS_WIN

#include "foundation/logtag.h"
#include "uplinkstate_linux.h"

#include <QSocketNotifier>
#include <QtDebug>

#include <cerrno>
#include <cstring>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t linkDump = 1;
constexpr std::uint32_t routeDump = 2;

} // namespace

// An rtnetlink socket on the link and route groups. The links are dumped first, then the routes,
// so that the state of every uplink is known before the first notification counts.
struct NetworkChanges::Watch
{
    explicit Watch(NetworkChanges* owner);
    ~Watch();
    void requestDump(std::uint32_t sequence);
    void read();

    NetworkChanges* owner;
    int fd = -1;
    QSocketNotifier* notifier = nullptr;
    UplinkState state;
};

NetworkChanges::Watch::Watch(NetworkChanges* owner)
    : owner(owner)
{
    fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    sockaddr_nl address {};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        tagged(qWarning(), QStringLiteral("NetworkChanges")) << "No rtnetlink socket: " << std::strerror(errno);
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
        return;
    }
    notifier = new QSocketNotifier(fd, QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [this] {
        read();
    });
    requestDump(linkDump);
}

NetworkChanges::Watch::~Watch()
{
    delete notifier;
    if (fd >= 0) {
        close(fd);
    }
}

void NetworkChanges::Watch::requestDump(std::uint32_t sequence)
{
    struct
    {
        nlmsghdr header;
        rtgenmsg body;
    } request {};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = sequence == linkDump ? RTM_GETLINK : RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = sequence;
    request.body.rtgen_family = AF_UNSPEC;
    if (send(fd, &request, sizeof request, 0) < 0) {
        tagged(qWarning(), QStringLiteral("NetworkChanges")) << "Dump request failed: " << std::strerror(errno);
    }
}

void NetworkChanges::Watch::read()
{
    // Bounded: a datagram larger than the buffer is cut (MSG_TRUNC) and its tail never read.
    alignas(nlmsghdr) unsigned char buffer[32 * 1024];
    for (int datagrams = 0; datagrams < 64; ++datagrams) {
        sockaddr_nl sender {};
        iovec part { buffer, sizeof buffer };
        msghdr message {};
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        const ssize_t got = recvmsg(fd, &message, 0);
        if (got < 0) {
            if (errno == ENOBUFS) {
                // Notifications were lost: the routing may have changed unseen.
                tagged(qWarning(), QStringLiteral("NetworkChanges")) << "Notifications lost, reading the tables again";
                owner->noteChange();
                requestDump(linkDump);
                continue;
            }
            return;
        }
        // Only the kernel speaks here.
        if (sender.nl_pid != 0 || (message.msg_flags & MSG_TRUNC) != 0) {
            continue;
        }
        const UplinkState::Outcome outcome = state.consume(buffer, static_cast<std::size_t>(got));
        if (outcome.dumpDone == linkDump) {
            requestDump(routeDump);
        }
        if (outcome.changed) {
            owner->noteChange();
        }
    }
}

NetworkChanges::NetworkChanges(QObject* parent)
    : QObject(parent)
    , watch(std::make_unique<Watch>(this))
{
    setUpDebounce();
}

NetworkChanges::~NetworkChanges() = default;

bool NetworkChanges::isWatching() const
{
    return watch->fd >= 0;
}

#endif
