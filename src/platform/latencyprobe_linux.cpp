#include "latencyprobe.h"

#ifndef Q_OS_WIN

#include <QHostAddress>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {

// Type and code, checksum (the kernel's), identifier (the kernel's), sequence.
struct EchoHeader
{
    quint8 type;
    quint8 code;
    quint16 checksum;
    quint16 identifier;
    quint16 sequence;
};

constexpr quint8 echoRequest4 = 8;
constexpr quint8 echoReply4 = 0;
constexpr quint8 echoRequest6 = 128;
constexpr quint8 echoReply6 = 129;

int openPingSocket(bool ipv6)
{
    const int protocol = ipv6 ? int(IPPROTO_ICMPV6) : int(IPPROTO_ICMP);
    return ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
}

} // namespace

bool LatencyProbe::echoAllowed(bool ipv6)
{
    const int fd = openPingSocket(ipv6);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

bool LatencyProbe::startEcho()
{
    const QHostAddress address(target);
    const bool ipv6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    echoSocket = openPingSocket(ipv6);
    if (echoSocket < 0) {
        return false;
    }
    sockaddr_storage to = {};
    socklen_t length = 0;
    if (ipv6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&to);
        in6->sin6_family = AF_INET6;
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        length = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&to);
        in4->sin_family = AF_INET;
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
    }
    // Connected: the kernel hands this socket only the replies of this host.
    EchoHeader request = {};
    request.type = ipv6 ? echoRequest6 : echoRequest4;
    request.sequence = htons(++sequence);
    if (::connect(echoSocket, reinterpret_cast<sockaddr*>(&to), length) != 0
        || ::send(echoSocket, &request, sizeof request, 0) != static_cast<ssize_t>(sizeof request)) {
        stopEcho();
        return false;
    }
    echoNotifier = new QSocketNotifier(echoSocket, QSocketNotifier::Read, this);
    connect(echoNotifier, &QSocketNotifier::activated, this, &LatencyProbe::readEcho);
    return true;
}

void LatencyProbe::readEcho()
{
    const bool ipv6 = QHostAddress(target).protocol() == QAbstractSocket::IPv6Protocol;
    char buffer[256];
    ssize_t got = 0;
    while ((got = ::recv(echoSocket, buffer, sizeof buffer, 0)) >= static_cast<ssize_t>(sizeof(EchoHeader))) {
        EchoHeader reply = {};
        std::memcpy(&reply, buffer, sizeof reply);
        if (reply.type == (ipv6 ? echoReply6 : echoReply4) && ntohs(reply.sequence) == sequence) {
            done(static_cast<int>(clock.elapsed()), Echo);
            return;
        }
    }
}

void LatencyProbe::stopEcho()
{
    if (echoNotifier != nullptr) {
        echoNotifier->setEnabled(false);
        echoNotifier->deleteLater();
    }
    if (echoSocket >= 0) {
        ::close(echoSocket);
        echoSocket = -1;
    }
}

#endif
