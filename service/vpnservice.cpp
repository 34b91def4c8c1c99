#include "vpnservice.h"

#include "commandparser.h"
#include "foundation/logtag.h"
#include "foundation/tundevice.h"
#include "servicelistener.h"

#include <QTimer>

#include <QWebSocket>
#include <QWebSocketCorsAuthenticator>
#include <QWebSocketServer>
#include <algorithm>

namespace {

const QString tag = QStringLiteral("VpnService");

constexpr qint64 readBufferSize = 256 * 1024;

// "started:PID,..." or "finished:PID,...": the PID, 0 when it is not such a line.
qint64 pidOf(const QString& line, bool* started)
{
    *started = line.startsWith(QLatin1String("started:"));
    if (!*started && !line.startsWith(QLatin1String("finished:"))) {
        return 0;
    }
    return line.section(QLatin1Char(':'), 1).section(QLatin1Char(','), 0, 0).toLongLong();
}

} // namespace

VpnService::VpnService(const ProgramPaths::Paths& programs, QObject* parent)
    : QObject(parent)
    , catalog(programs)
    , refusals(tag)
{
    setObjectName(tag);
    listener = new ServiceListener(&refusals, this);
    server = new QWebSocketServer(QStringLiteral("vpn-service"), QWebSocketServer::NonSecureMode, this);
    server->setHandshakeTimeout(ServiceListener::handshakeDeadlineMs);
    runner = new ProgramRunner(catalog, this);
    connect(listener, &ServiceListener::admitted, this, &VpnService::onAdmitted);
    connect(server, &QWebSocketServer::originAuthenticationRequired, this, &VpnService::onOriginAuthentication);
    connect(server, &QWebSocketServer::newConnection, this, &VpnService::onNewConnection);
    connect(runner, &ProgramRunner::statusLine, this, &VpnService::report);
}

bool VpnService::listen()
{
    // Loopback only: nothing outside this machine may reach the service.
    if (!listener->listen(port)) {
        tagged(qCritical(), tag) << "Cannot listen on 127.0.0.1:" << port << ": " << listener->errorString();
        return false;
    }
    tagged(qInfo(), tag) << "Program folder " << catalog.folder();
    for (const ProgramCatalog::Program& program : catalog.programs()) {
        tagged(qInfo(), tag) << "Program " << program.name << ": " << program.path;
    }
    tagged(qInfo(), tag) << "Allowed users: root and the members of " << PeerUser::groupName() << "; at most "
                         << ServiceListener::maxPerUser << " connections per user, " << ServiceListener::maxTotal
                         << " in all";
    tagged(qInfo(), tag) << "Listening on 127.0.0.1:" << port;
    return true;
}

void VpnService::onAdmitted(QTcpSocket* socket, const PeerUser& user)
{
    // The handshake request and its headers fit in this; a larger one never completes.
    socket->setReadBufferSize(maxMessageSize);
    // Sockets that failed their handshake are gone from here by the next admission.
    handshaking.erase(std::remove_if(handshaking.begin(), handshaking.end(),
                          [](const Handshake& entry) {
                              return entry.socket.isNull();
                          }),
        handshaking.end());
    handshaking.append({ socket, user });
    server->handleConnection(socket);
}

void VpnService::onOriginAuthentication(QWebSocketCorsAuthenticator* authenticator)
{
    // The client sends no Origin; a browser always does. A web page must never reach us.
    if (!authenticator->origin().isEmpty()) {
        refusals.warn(QStringLiteral("origin"),
            QStringLiteral("Refused handshake with Origin %1").arg(ServiceLog::printable(authenticator->origin())));
        authenticator->setAllowed(false);
    }
}

void VpnService::onNewConnection()
{
    while (QWebSocket* socket = server->nextPendingConnection()) {
        QTcpSocket* tcp = nullptr;
        PeerUser user;
        for (int i = 0; i < handshaking.size(); ++i) {
            QTcpSocket* candidate = handshaking.at(i).socket;
            if (candidate != nullptr && candidate->peerPort() == socket->peerPort()
                && candidate->localPort() == socket->localPort()) {
                tcp = candidate;
                user = handshaking.takeAt(i).user;
                break;
            }
        }
        if (tcp == nullptr) {
            tagged(qWarning(), tag) << "A connection the listener did not admit, port " << socket->peerPort();
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto client = std::make_shared<Client>();
        client->socket = socket;
        client->user = user;
        client->who = QStringLiteral("%1 (%2) port %3")
                          .arg(client->user.id, ServiceLog::printable(client->user.name, 64))
                          .arg(socket->peerPort());
        if (QTimer* deadline = tcp->findChild<QTimer*>(QStringLiteral("handshakeDeadline"))) {
            deadline->stop();
        }
        // The WebSocket does not delete the TCP socket it took over; the listener counts the
        // connection until that socket goes.
        connect(socket, &QObject::destroyed, tcp, &QObject::deleteLater);
        tagged(qInfo(), tag) << "Client connected: " << client->who << " (" << listener->openConnections()
                             << " connections open)";
        socket->setParent(this);
        socket->setMaxAllowedIncomingFrameSize(maxMessageSize);
        socket->setMaxAllowedIncomingMessageSize(maxMessageSize);
        // A flood stays in the sender's socket buffer, not in the service's memory.
        socket->setReadBufferSize(readBufferSize);
        clients.append(client);
        // The lambdas hold the client weakly: the list owns it.
        const std::weak_ptr<Client> weak = client;
        connect(socket, &QWebSocket::textMessageReceived, this, [this, weak](const QString& message) {
            if (ClientPointer strong = weak.lock()) {
                onTextMessage(strong, message);
            }
        });
        connect(socket, &QWebSocket::binaryMessageReceived, this, [this, weak](const QByteArray& message) {
            if (ClientPointer strong = weak.lock()) {
                refusals.warn(strong->user.id,
                    QStringLiteral("Refused binary message of %1 bytes from %2").arg(message.size()).arg(strong->who));
            }
        });
        connect(socket, &QWebSocket::disconnected, this, [this, weak] {
            if (ClientPointer strong = weak.lock()) {
                onClientDisconnected(strong);
            }
        });
    }
}

void VpnService::onTextMessage(const ClientPointer& client, const QString& message)
{
    if (client->queue.size() >= maxQueued) {
        refusals.warn(client->user.id,
            QStringLiteral("Dropped a command of %1: %2 of its commands wait already")
                .arg(client->who)
                .arg(client->queue.size()));
        return;
    }
    client->queue.enqueue(message);
    scheduleDispatch();
}

void VpnService::scheduleDispatch()
{
    if (!dispatchScheduled) {
        dispatchScheduled = true;
        QTimer::singleShot(0, this, &VpnService::dispatch);
    }
}

void VpnService::dispatch()
{
    dispatchScheduled = false;
    // One command of each client per turn, then back to the event loop: a client with a long
    // queue never holds up the others' commands or their connections.
    const QList<ClientPointer> turn = clients;
    for (const ClientPointer& client : turn) {
        if (!client->queue.isEmpty() && clients.contains(client)) {
            execute(client, client->queue.dequeue());
        }
    }
    for (const ClientPointer& client : turn) {
        if (client->gone && client->queue.isEmpty()) {
            clients.removeAll(client);
        } else if (!client->queue.isEmpty()) {
            scheduleDispatch();
        }
    }
}

QString VpnService::heldAgainst(const PeerUser& user) const
{
    if (tunnelOwner.isEmpty() || tunnelOwner == user.id) {
        return QString();
    }
    for (const ClientPointer& client : clients) {
        if (client->user.id == tunnelOwner && !client->gone) {
            return tunnelOwner;
        }
    }
    return QString();
}

void VpnService::execute(const ClientPointer& client, const QString& message)
{
    const Command command = Command::parse(message);
    if (command.kind == Command::Invalid) {
        refusals.warn(client->user.id,
            QStringLiteral("Refused command from %1 (%2): %3")
                .arg(client->who, command.error, ServiceLog::printable(message)));
        return;
    }
    // A question changes nothing, so it is answered whoever holds the tunnel.
    if (command.kind == Command::QueryTun) {
        const QString reason = TunDevice::unavailableReason();
        send(client,
            reason.isEmpty() ? QStringLiteral("tun:available")
                             : QStringLiteral("tun:unavailable,") + ServiceLog::printable(reason, 200));
        return;
    }
    // Every other command ends or changes the tunnel, the lock or the resolvers of the whole machine.
    const QString holder = heldAgainst(client->user);
    if (!holder.isEmpty()) {
        refusals.warn(client->user.id,
            QStringLiteral("Refused command from %1: the tunnel belongs to %2, whose client is connected: %3")
                .arg(client->who, holder, ServiceLog::printable(message)));
        const QString name
            = command.kind == Command::Start ? catalog.resolve(command.arguments.value(0)).name : QString();
        if (!name.isEmpty()) {
            send(client, QStringLiteral("started:0,%1,%2").arg(ProgramRunner::Refused).arg(name));
        }
        return;
    }
    tagged(qInfo(), tag) << "Command from " << client->who << ": " << ServiceLog::printable(message, 2000);
    switch (command.kind) {
    case Command::Init:
        runner->resetForNewClient();
        tunnelOwner.clear();
        break;
    case Command::Start:
        tunnelOwner = client->user.id;
        requester = client;
        runner->start(command.arguments, true, client->user.uid);
        requester.reset();
        break;
    case Command::StopOpenVpn:
        tunnelOwner = client->user.id;
        runner->stopOpenVpn();
        break;
    case Command::KillOpenVpn:
        tunnelOwner = client->user.id;
        runner->killOpenVpn();
        break;
    case Command::QueryTun:
    case Command::Invalid:
        break;
    }
}

void VpnService::onClientDisconnected(const ClientPointer& client)
{
    // Commands it sent before it went (the client's "init: connection" as it quits) still run.
    client->gone = true;
    if (client->queue.isEmpty()) {
        clients.removeAll(client);
    }
    if (QWebSocket* socket = client->socket) {
        tagged(qInfo(), tag) << "Client disconnected: " << client->who << ", close code " << socket->closeCode() << " "
                             << ServiceLog::printable(socket->closeReason());
        socket->deleteLater();
    }
}

void VpnService::report(const QString& line)
{
    // A run's lines go to the clients of the user it was started for, not to other users.
    bool started = false;
    const qint64 pid = pidOf(line, &started);
    QString user = tunnelOwner;
    if (started && requester) {
        user = requester->user.id;
    }
    if (started && pid > 0) {
        runUsers.insert(pid, user);
    } else if (!started && pid > 0) {
        user = runUsers.take(pid);
    }
    int count = 0;
    // A copy: a client that fails to take the line leaves the list.
    const QList<ClientPointer> targets = clients;
    for (const ClientPointer& client : targets) {
        if (client->user.id == user) {
            send(client, line);
            ++count;
        }
    }
    tagged(qInfo(), tag) << "Report " << line << " to " << count << " client(s)";
}

void VpnService::send(const ClientPointer& client, const QString& line)
{
    if (client->gone || client->socket == nullptr) {
        return;
    }
    if (client->socket->bytesToWrite() > maxUnsent) {
        refusals.warn(
            client->user.id, QStringLiteral("Disconnecting %1: it reads none of its reports").arg(client->who));
        client->socket->abort();
        return;
    }
    client->socket->sendTextMessage(line + QLatin1Char('\n'));
}
