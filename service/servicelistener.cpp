#include "servicelistener.h"

#include "app/logtag.h"
#include "servicelog.h"

#include <QTcpSocket>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <winsock2.h>
#endif

namespace {

const QString tag = QStringLiteral("ServiceListener");

// Qt's WebSocket frame reader waits for the rest of a frame with a blocking read of up to five
// seconds, which would let one client freeze the service for everybody. A loopback client sends
// its short commands whole; a frame still incomplete after a few milliseconds ends that client's
// connection instead.
class BoundedSocket : public QTcpSocket
{
public:
    using QTcpSocket::QTcpSocket;

    bool waitForReadyRead(int msecs) override
    {
        return QTcpSocket::waitForReadyRead(bounded(msecs));
    }
    bool waitForBytesWritten(int msecs) override
    {
        return QTcpSocket::waitForBytesWritten(bounded(msecs));
    }

private:
    static int bounded(int msecs)
    {
        return msecs < 0 ? ServiceListener::maxBlockingWaitMs : qMin(msecs, ServiceListener::maxBlockingWaitMs);
    }
};

} // namespace

ServiceListener::ServiceListener(RefusalLog* refusalLog, QObject* parent)
    : QTcpServer(parent)
    , refusals(refusalLog)
{
    setObjectName(tag);
    // Out of descriptors, QTcpServer stops accepting for good; try again a little later.
    connect(this, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError error) {
        refusals->warn(
            QStringLiteral("accept"), QStringLiteral("Accept error %1 (%2 connections open)").arg(error).arg(total));
        QTimer::singleShot(1000, this, [this] {
            resumeAccepting();
        });
    });
}

bool ServiceListener::listenOnLoopback(quint16 port)
{
#ifdef Q_OS_UNIX
    // QTcpServer::listen() asks for a queue of 50 only.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int on = 1;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0
        || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd, backlog) != 0
        || !setSocketDescriptor(fd)) {
        if (fd >= 0) {
            ::close(fd);
        }
        // Qt's own way then, which also reports why it fails.
        return listen(QHostAddress::LocalHost, port);
    }
    return true;
#else
    return listen(QHostAddress::LocalHost, port);
#endif
}

int ServiceListener::openConnections() const
{
    return total;
}

void ServiceListener::incomingConnection(qintptr descriptor)
{
    const PeerUser user = PeerUser::ofConnection(descriptor);
    const QString who = user.known ? QStringLiteral("%1 (%2)").arg(user.id, ServiceLog::printable(user.name, 64))
                                   : QStringLiteral("an unknown user");
    const QString key = user.known ? user.id : QStringLiteral("unknown");
    if (!user.authorized) {
        refuse(descriptor, key, who, user.reason);
        return;
    }
    if (total >= maxTotal) {
        refuse(descriptor, key, who, QStringLiteral("%1 connections open, the most the service holds").arg(total));
        return;
    }
    if (perUser.value(user.id) >= maxPerUser) {
        refuse(descriptor, key, who, QStringLiteral("%1 connections of this user open already").arg(maxPerUser));
        return;
    }
    auto* socket = new BoundedSocket(this);
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
#ifdef Q_OS_WIN
    ::closesocket(SOCKET(descriptor));
#else
    ::close(static_cast<int>(descriptor));
#endif
}
