// The Windows side of the listener's sockets: Winsock SOCKETs; the service binds its port itself.
#include "listensocket.h"

#ifdef Q_OS_WIN

// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

namespace {

QString lastError()
{
    return QStringLiteral("Windows socket error %1").arg(::WSAGetLastError());
}

} // namespace

namespace ListenSocket {

qintptr inherited(quint16 port)
{
    Q_UNUSED(port)
    return -1;
}

qintptr open(quint16 port, int backlog, QString* error)
{
    const SOCKET fd = ::socket(AF_INET, SOCK_STREAM, 0);
    // SO_REUSEADDR would let another program take the port over here.
    const int on = 1;
    u_long nonBlocking = 1;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd == INVALID_SOCKET || ::ioctlsocket(fd, FIONBIO, &nonBlocking) != 0
        || ::setsockopt(fd, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof(on)) != 0
        || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd, backlog) != 0) {
        *error = lastError();
        if (fd != INVALID_SOCKET) {
            ::closesocket(fd);
        }
        return -1;
    }
    SetHandleInformation(HANDLE(fd), HANDLE_FLAG_INHERIT, 0);
    return qintptr(fd);
}

qintptr accept(qintptr listener, bool* wouldBlock, QString* error)
{
    const SOCKET fd = ::accept(SOCKET(listener), nullptr, nullptr);
    if (fd == INVALID_SOCKET) {
        *wouldBlock = ::WSAGetLastError() == WSAEWOULDBLOCK;
        *error = lastError();
        return -1;
    }
    return qintptr(fd);
}

void makeCloseOnExec(qintptr socket)
{
    SetHandleInformation(HANDLE(socket), HANDLE_FLAG_INHERIT, 0);
}

void close(qintptr socket)
{
    ::closesocket(SOCKET(socket));
}

} // namespace ListenSocket

#endif
