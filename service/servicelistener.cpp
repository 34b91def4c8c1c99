#include "servicelistener.h"

#include "foundation/logtag.h"
#include "servicelog.h"

#include <QTcpSocket>
#include <QTimer>

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif
#ifdef Q_OS_WIN
#include <winsock2.h>
#endif

namespace {

const QString tag = QStringLiteral("ServiceListener");

#ifdef Q_OS_WIN
// On Windows SO_REUSEADDR would let another program take the port over.
constexpr int reuseOption = SO_EXCLUSIVEADDRUSE;
#else
constexpr int reuseOption = SO_REUSEADDR;
#endif

void closeDescriptor(qintptr fd)
{
#ifdef Q_OS_WIN
    ::closesocket(SOCKET(fd));
#else
    ::close(static_cast<int>(fd));
#endif
}

bool makeNonBlocking(qintptr fd)
{
#ifdef Q_OS_WIN
    u_long on = 1;
    return ::ioctlsocket(SOCKET(fd), FIONBIO, &on) == 0;
#else
    return ::fcntl(static_cast<int>(fd), F_SETFL, ::fcntl(static_cast<int>(fd), F_GETFL) | O_NONBLOCK) == 0
        && ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC) == 0;
#endif
}

// Not inherited by the programs the service starts.
void makeCloseOnExec(qintptr fd)
{
#ifdef Q_OS_WIN
    SetHandleInformation(HANDLE(fd), HANDLE_FLAG_INHERIT, 0);
#else
    ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
#endif
}

bool wouldBlock()
{
#ifdef Q_OS_WIN
    return ::WSAGetLastError() == WSAEWOULDBLOCK;
#else
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED;
#endif
}

QString lastError()
{
#ifdef Q_OS_WIN
    return QStringLiteral("Windows socket error %1").arg(::WSAGetLastError());
#else
    return QString::fromLocal8Bit(std::strerror(errno));
#endif
}

#ifdef Q_OS_LINUX
// The listening socket systemd's socket unit holds for the service across its restarts
// (LISTEN_FDS, the first descriptor after standard error), when there is one: -1 when the service
// was started without, -2 when what was passed is not a listener on 127.0.0.1:port.
qintptr inheritedListener(quint16 port)
{
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
#else
qintptr inheritedListener(quint16 port)
{
    Q_UNUSED(port)
    return -1; // Windows: the service binds its port itself
}
#endif

} // namespace

ServiceListener::ServiceListener(UserLog* refusalLog, QObject* parent)
    : QObject(parent)
    , refusals(refusalLog)
{
    setObjectName(tag);
}

ServiceListener::~ServiceListener()
{
    if (listening >= 0) {
        closeDescriptor(listening);
    }
}

bool ServiceListener::listen(quint16 port)
{
    const qintptr inherited = inheritedListener(port);
    if (inherited == -2) {
        error = QStringLiteral("the socket systemd passed is not one listening on 127.0.0.1:%1").arg(port);
        return false;
    }
    if (inherited >= 0) {
        activated = true;
        listening = inherited;
        notifier = new QSocketNotifier(listening, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &ServiceListener::acceptSome);
        return true;
    }
    const qintptr fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || !makeNonBlocking(fd)
        || ::setsockopt(fd, SOL_SOCKET, reuseOption, reinterpret_cast<const char*>(&on), sizeof(on)) != 0
        || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd, backlog) != 0) {
        error = lastError();
        if (fd >= 0) {
            closeDescriptor(fd);
        }
        return false;
    }
    listening = fd;
    notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &ServiceListener::acceptSome);
    return true;
}

QString ServiceListener::errorString() const
{
    return error;
}

bool ServiceListener::socketActivated() const
{
    return activated;
}

int ServiceListener::openConnections() const
{
    return total;
}

bool ServiceListener::mayCommand(const PeerUser& user, QString* reason)
{
#ifdef Q_OS_LINUX
    QString name;
    return authorizations.mayCommand(user.uid, &name, reason);
#else
    // Windows: membership as the connection's token carried it.
    Q_UNUSED(reason)
    return user.authorized;
#endif
}

void ServiceListener::acceptSome()
{
    // The notifier fires again on the next turn while connections wait.
    for (int i = 0; i < acceptsPerTurn; ++i) {
        const qintptr fd = ::accept(listening, nullptr, nullptr);
        if (fd >= 0) {
            admit(fd);
            continue;
        }
        if (wouldBlock()) {
            return;
        }
        // Out of descriptors (or another passing failure): take a breath instead of spinning.
        refusals->warn(QStringLiteral("accept"),
            QStringLiteral("Accept failed (%1 connections open): %2").arg(total).arg(lastError()));
        notifier->setEnabled(false);
        QTimer::singleShot(1000, this, [this] {
            notifier->setEnabled(true);
        });
        return;
    }
}

void ServiceListener::admit(qintptr descriptor)
{
    makeCloseOnExec(descriptor);
    const PeerUser user = PeerUser::ofConnection(descriptor, &authorizations);
    const QString who = user.known ? QStringLiteral("%1 (%2)").arg(user.id, ServiceLog::printable(user.name, 64))
                                   : QStringLiteral("an unknown user");
    const QString key = user.known ? user.id : QStringLiteral("unknown");
    if (!user.authorized) {
        refuse(descriptor, key, who, user.reason);
        return;
    }
    if (total >= maxTotal - (user.isRoot() ? 0 : rootReserved)) {
        refuse(descriptor, key, who, QStringLiteral("%1 connections open, the most the service holds").arg(total));
        return;
    }
    if (perUser.value(user.id) >= maxPerUser) {
        refuse(descriptor, key, who, QStringLiteral("%1 connections of this user open already").arg(maxPerUser));
        return;
    }
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        refuse(descriptor, key, who, socket->errorString());
        delete socket;
        return;
    }
    ++total;
    ++perUser[user.id];
    const QString id = user.id;
    // The count follows the socket, whoever owns it by then and however it ends. Through a child:
    // the WebSocket that takes the socket over drops the connections to the socket's own signals.
    auto* counted = new QObject(socket);
    connect(counted, &QObject::destroyed, this, [this, id] {
        --total;
        if (--perUser[id] <= 0) {
            perUser.remove(id);
        }
    });
    // An unfinished handshake holds a descriptor; a finished one no longer needs the timer.
    auto* deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    deadline->setObjectName(QStringLiteral("handshakeDeadline"));
    connect(deadline, &QTimer::timeout, socket, [this, socket, who, id] {
        refusals->warn(id,
            QStringLiteral("Handshake of %1 from port %2 not done within %3 ms")
                .arg(who)
                .arg(socket->peerPort())
                .arg(handshakeDeadlineMs));
        socket->abort();
        socket->deleteLater();
    });
    deadline->start(handshakeDeadlineMs);
    emit admitted(socket, user);
}

void ServiceListener::refuse(qintptr descriptor, const QString& key, const QString& who, const QString& reason)
{
    refusals->warn(key, QStringLiteral("Refused connection of %1: %2").arg(who, reason));
    closeDescriptor(descriptor);
}
