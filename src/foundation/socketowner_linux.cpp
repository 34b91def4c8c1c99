// The Linux side of the socket's owner: the kernel's socket table through sock_diag, the peer's
// credentials of a Unix socket.
#include "socketowner.h"

#ifndef Q_OS_WIN

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr int netlinkWaitMs = 200;

struct Endpoints
{
    sockaddr_in local = {};
    sockaddr_in peer = {};
};

bool endpoints(int descriptor, Endpoints* ends)
{
    socklen_t length = sizeof(ends->local);
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&ends->local), &length) != 0
        || ends->local.sin_family != AF_INET) {
        return false;
    }
    length = sizeof(ends->peer);
    return ::getpeername(descriptor, reinterpret_cast<sockaddr*>(&ends->peer), &length) == 0
        && ends->peer.sin_family == AF_INET;
}

// One exact lookup through sock_diag: the TCP socket whose own end is the peer's address and
// whose far end is ours, that is the peer's socket. The kernel answers from its socket table, so
// the answer costs the same whatever other users do.
// One exact lookup of the socket whose own end is (source, sourcePort) and far end (target,
// targetPort), in the given state; ports and addresses in network order.
bool lookup(
    quint32 source, quint16 sourcePort, quint32 target, quint16 targetPort, int state, qint64* uid, QString* reason);

bool socketOwner(const Endpoints& ends, qint64* uid, QString* reason)
{
    // Only the live connection itself: a listener or a closing socket that the lookup might find
    // instead says nothing about who is at the other end.
    if (!lookup(ends.peer.sin_addr.s_addr, ends.peer.sin_port, ends.local.sin_addr.s_addr, ends.local.sin_port,
            TCP_ESTABLISHED, uid, reason)) {
        *reason = QStringLiteral("the peer's socket is not an established connection");
        return false;
    }
    return true;
}

bool lookup(
    quint32 source, quint16 sourcePort, quint32 target, quint16 targetPort, int state, qint64* uid, QString* reason)
{
    const int link = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (link < 0) {
        *reason = QStringLiteral("no sock_diag socket: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    timeval wait = { 0, netlinkWaitMs * 1000 };
    ::setsockopt(link, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));

    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message = {};
    message.header.nlmsg_len = sizeof(message);
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.header.nlmsg_seq = 1;
    message.request.sdiag_family = AF_INET;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0U;
    message.request.id.idiag_sport = sourcePort;
    message.request.id.idiag_dport = targetPort;
    message.request.id.idiag_src[0] = source;
    message.request.id.idiag_dst[0] = target;
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel = {};
    kernel.nl_family = AF_NETLINK;

    bool found = false;
    *reason = QStringLiteral("the kernel knows no such socket");
    if (::sendto(link, &message, sizeof(message), 0, reinterpret_cast<sockaddr*>(&kernel), sizeof(kernel)) < 0) {
        *reason = QStringLiteral("sock_diag request failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    } else {
        std::vector<char> buffer(8192);
        const ssize_t got = ::recv(link, buffer.data(), buffer.size(), 0);
        const auto* header = reinterpret_cast<const nlmsghdr*>(buffer.data());
        if (got >= static_cast<ssize_t>(sizeof(nlmsghdr)) && NLMSG_OK(header, static_cast<unsigned>(got))
            && header->nlmsg_type == SOCK_DIAG_BY_FAMILY && header->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
            const auto* answer = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
            // The lookup may find another socket than the one asked for (a listener for a
            // connection): only the very one, in the state asked for, counts. A listener on all
            // addresses takes the connections to loopback too.
            const bool same = answer->id.idiag_sport == sourcePort && answer->id.idiag_dport == targetPort
                && (answer->id.idiag_src[0] == source || (state == TCP_LISTEN && answer->id.idiag_src[0] == 0))
                && answer->id.idiag_dst[0] == target;
            if (!same || answer->idiag_state != state) {
                *reason = QStringLiteral("not the socket asked for");
            } else {
                *uid = answer->idiag_uid;
                found = true;
            }
        }
    }
    ::close(link);
    return found;
}

} // namespace

SocketOwner SocketOwner::ofPeer(qintptr descriptor)
{
    SocketOwner owner;
    Endpoints ends;
    if (!endpoints(static_cast<int>(descriptor), &ends)) {
        owner.reason = QStringLiteral("not an IPv4 connection");
        return owner;
    }
    if ((ntohl(ends.peer.sin_addr.s_addr) >> 24) != 127) {
        owner.reason = QStringLiteral("not on loopback");
        return owner;
    }
    if (socketOwner(ends, &owner.uid, &owner.reason)) {
        owner.known = true;
        owner.id = QStringLiteral("uid %1").arg(owner.uid);
    }
    return owner;
}

SocketOwner SocketOwner::ofListener(quint16 port)
{
    SocketOwner owner;
    if (lookup(htonl(INADDR_LOOPBACK), htons(port), 0, 0, TCP_LISTEN, &owner.uid, &owner.reason)) {
        owner.known = true;
        owner.id = QStringLiteral("uid %1").arg(owner.uid);
    } else {
        owner.reason = QStringLiteral("nothing listens on 127.0.0.1:%1").arg(port);
    }
    return owner;
}

SocketOwner SocketOwner::ofConnection(quint16 localPort, quint16 peerPort)
{
    SocketOwner owner;
    if (lookup(htonl(INADDR_LOOPBACK), htons(peerPort), htonl(INADDR_LOOPBACK), htons(localPort), TCP_ESTABLISHED,
            &owner.uid, &owner.reason)) {
        owner.known = true;
        owner.id = QStringLiteral("uid %1").arg(owner.uid);
    }
    return owner;
}

SocketOwner SocketOwner::ofLocalPeer(qintptr descriptor)
{
    SocketOwner owner;
    ucred credentials = {};
    socklen_t length = sizeof(credentials);
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0
        && length == sizeof(credentials)) {
        owner.known = true;
        owner.uid = credentials.uid;
        owner.id = QStringLiteral("uid %1").arg(owner.uid);
    } else {
        owner.reason = QStringLiteral("no credentials of the socket's peer");
    }
    return owner;
}

bool SocketOwner::isSystemOrSelf() const
{
    return known && (uid == 0 || uid == static_cast<qint64>(::geteuid()));
}

#endif
