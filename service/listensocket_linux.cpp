// The Linux side of the listener's sockets: plain descriptors, systemd's socket activation.
#include "listensocket.h"

#ifndef Q_OS_WIN

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

bool makeNonBlocking(int fd)
{
    return ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) == 0 && ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

namespace ListenSocket {

qintptr inherited(quint16 port)
{
    // systemd passes LISTEN_FDS descriptors from the first after standard error.
    const QByteArray pid = qgetenv("LISTEN_PID");
    const QByteArray count = qgetenv("LISTEN_FDS");
    // Not for the programs the service runs.
    qunsetenv("LISTEN_PID");
    qunsetenv("LISTEN_FDS");
    qunsetenv("LISTEN_FDNAMES");
    if (count.isEmpty() || pid.toLongLong() != ::getpid()) {
        return -1;
    }
    constexpr int fd = 3;
    int type = 0;
    int accepting = 0;
    socklen_t length = sizeof(type);
    sockaddr_in address = {};
    socklen_t addressLength = sizeof(address);
    const bool fits = count.toInt() == 1 && ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0
        && type == SOCK_STREAM && ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &length) == 0 && accepting
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &addressLength) == 0
        && address.sin_family == AF_INET && address.sin_addr.s_addr == htonl(INADDR_LOOPBACK)
        && address.sin_port == htons(port);
    return fits && makeNonBlocking(fd) ? fd : -2;
}

qintptr open(quint16 port, int backlog, QString* error)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || !makeNonBlocking(fd) || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0
        || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd, backlog) != 0) {
        *error = lastError();
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    return fd;
}

qintptr accept(qintptr listener, bool* wouldBlock, QString* error)
{
    const int fd = ::accept(static_cast<int>(listener), nullptr, nullptr);
    if (fd < 0) {
        *wouldBlock = errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED;
        *error = lastError();
    }
    return fd;
}

void makeCloseOnExec(qintptr socket)
{
    ::fcntl(static_cast<int>(socket), F_SETFD, FD_CLOEXEC);
}

void close(qintptr socket)
{
    ::close(static_cast<int>(socket));
}

} // namespace ListenSocket

#endif
