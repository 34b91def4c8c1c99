#include "servicelistener.h"

#include "foundation/logtag.h"
#include "listensocket.h"
#include "servicelog.h"

#include <QTcpSocket>
#include <QTimer>

#include <QSocketNotifier>

namespace {

const QString tag = QStringLiteral("ServiceListener");

} // namespace

ServiceListener::ServiceListener(UserLog* refusalLog, QObject* parent)
    : QObject(parent)
    , refusals(refusalLog)
{
    setObjectName(tag);
}

ServiceListener::~ServiceListener()
{
    for (auto waiting = awaiting.cbegin(); waiting != awaiting.cend(); ++waiting) {
        delete waiting.value();
        ListenSocket::close(waiting.key());
    }
    if (listening >= 0) {
        ListenSocket::close(listening);
    }
}

bool ServiceListener::listen(quint16 port)
{
    const qintptr inherited = ListenSocket::inherited(port);
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
    const qintptr fd = ListenSocket::open(port, backlog, &error);
    if (fd < 0) {
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
    QString name;
    return authorizations.mayCommand(user, &name, reason);
}

void ServiceListener::acceptSome()
{
    // The notifier fires again on the next turn while connections wait.
    for (int i = 0; i < acceptsPerTurn; ++i) {
        bool wouldBlock = false;
        QString failure;
        const qintptr fd = ListenSocket::accept(listening, &wouldBlock, &failure);
        if (fd >= 0) {
            admit(fd);
            continue;
        }
        if (wouldBlock) {
            return;
        }
        // Out of descriptors (or another passing failure): take a breath instead of spinning.
        refusals->warn(QStringLiteral("accept"),
            QStringLiteral("Accept failed (%1 connections open): %2").arg(total).arg(failure));
        notifier->setEnabled(false);
        QTimer::singleShot(1000, this, [this] {
            notifier->setEnabled(true);
        });
        return;
    }
}

void ServiceListener::admit(qintptr descriptor, bool askedAgain)
{
    if (!askedAgain) {
        ListenSocket::makeCloseOnExec(descriptor);
    }
    const PeerUser user = PeerUser::ofConnection(descriptor, &authorizations);
    const QString who = user.known ? QStringLiteral("%1 (%2)").arg(user.id, ServiceLog::printable(user.name, 64))
                                   : QStringLiteral("an unknown user");
    const QString key = user.known ? user.id : QStringLiteral("unknown");
    // A system may name the owner of a connection's end only once that end has been used (Wine's
    // TCP table names the process that sent on it): asked once more when the peer has sent, within
    // the handshake's time, and within the caps of one user.
    if (!user.known && !askedAgain && perUser.value(key) < maxPerUser && total < maxTotal - rootReserved) {
        awaitFirstBytes(descriptor);
        return;
    }
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

void ServiceListener::awaitFirstBytes(qintptr descriptor)
{
    const QString key = QStringLiteral("unknown");
    ++total;
    ++perUser[key];
    auto* notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    awaiting.insert(descriptor, notifier);
    auto* deadline = new QTimer(notifier);
    deadline->setSingleShot(true);
    const auto askAgain = [this, notifier, deadline, descriptor, key] {
        if (!notifier->isEnabled()) {
            return;
        }
        notifier->setEnabled(false);
        deadline->stop();
        // The notifier goes before the socket that takes the descriptor over watches it.
        QTimer::singleShot(0, this, [this, notifier, descriptor, key] {
            awaiting.remove(descriptor);
            delete notifier;
            --total;
            if (--perUser[key] <= 0) {
                perUser.remove(key);
            }
            admit(descriptor, true);
        });
    };
    connect(notifier, &QSocketNotifier::activated, this, askAgain);
    connect(deadline, &QTimer::timeout, this, askAgain);
    deadline->start(handshakeDeadlineMs);
}

void ServiceListener::refuse(qintptr descriptor, const QString& key, const QString& who, const QString& reason)
{
    refusals->warn(key, QStringLiteral("Refused connection of %1: %2").arg(who, reason));
    ListenSocket::close(descriptor);
}
