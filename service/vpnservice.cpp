#include "vpnservice.h"

#include "programconfig.h"

#include "commandparser.h"
#include "foundation/logtag.h"
#include "foundation/tundevice.h"
#include "protocol/serviceprotocol.h"
#include "servicelistener.h"

#include <QTimer>
#include <QWebSocket>
#include <QWebSocketCorsAuthenticator>
#include <QWebSocketServer>

#include <algorithm>

namespace {

const QString tag = QStringLiteral("VpnService");

constexpr qint64 readBufferSize = 256 * 1024;

} // namespace

VpnService::VpnService(const ProgramPaths::Paths& programs, const QString& stateFolder, QObject* parent)
    : QObject(parent)
    , catalog(programs)
    , refusals(tag, refusalBurstBytes, refusalBytesPerSecond)
    , activity(tag, activityBurstBytes, activityBytesPerSecond)
    , runner(new ProgramRunner(catalog, &activity, this))
    , lockdown(stateFolder, runner, &activity)
{
    activity.exempt(PeerUser::rootId());
    refusals.keepLines(&userLines);
    activity.keepLines(&userLines);
    setObjectName(tag);
    listener = new ServiceListener(&refusals, this);
    server = new QWebSocketServer(QStringLiteral("vpn-service"), QWebSocketServer::NonSecureMode, this);
    server->setHandshakeTimeout(ServiceListener::handshakeDeadlineMs);
    scheduler = new CommandScheduler(
        [this](const ClientPointer& client, const QString& message) {
            execute(client, message);
        },
        this);
    connect(listener, &ServiceListener::admitted, this, &VpnService::onAdmitted);
    connect(server, &QWebSocketServer::originAuthenticationRequired, this, &VpnService::onOriginAuthentication);
    connect(server, &QWebSocketServer::newConnection, this, &VpnService::onNewConnection);
    connect(runner, &ProgramRunner::statusLine, this, &VpnService::report);
    connect(runner, &ProgramRunner::openVpnStarted, this, [this](const QString& user) {
        // Only a run that really started makes its user the owner.
        ownership.claim(user);
    });
    // Ownership goes with the run: a user whose OpenVPN ended holds the tunnel no longer.
    connect(runner, &ProgramRunner::openVpnEnded, this, [this] {
        ownership.release();
    });
    auto* memberships = new QTimer(this);
    connect(memberships, &QTimer::timeout, this, &VpnService::checkMemberships);
    memberships->start(revocationCheckMs);
}

bool VpnService::listen()
{
    // Lockdown holds from the service's start, and a service killed with a tunnel up left that
    // tunnel's guard. (The tool's runs come before any client's: they are queued first.)
    lockdown.restore();
    runner->setTunnelMarker(lockdown.stateFolder() + QStringLiteral("/tunnel"));
    runner->liftLeftTunnelGuard();

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
    tagged(qInfo(), tag) << "Listening on 127.0.0.1:" << port
                         << (listener->socketActivated() ? " (the socket systemd holds)" : "");
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
        addClient(socket, tcp, user);
    }
}

void VpnService::addClient(QWebSocket* socket, QTcpSocket* tcp, const PeerUser& user)
{
    auto client = std::make_shared<ServiceClient>();
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
    activity.info(client->user.id,
        QStringLiteral("Client connected: %1 (%2 connections open)").arg(client->who).arg(listener->openConnections()));
    socket->setParent(this);
    socket->setMaxAllowedIncomingFrameSize(maxMessageSize);
    socket->setMaxAllowedIncomingMessageSize(maxMessageSize);
    // A flood stays in the sender's socket buffer, not in the service's memory.
    socket->setReadBufferSize(readBufferSize);
    scheduler->add(client);
    // The lambdas hold the client weakly: the scheduler's list owns it.
    const std::weak_ptr<ServiceClient> weak = client;
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

void VpnService::onTextMessage(const ClientPointer& client, const QString& message)
{
    if (!scheduler->enqueue(client, message)) {
        refusals.warn(client->user.id,
            QStringLiteral("Dropped a command of %1: %2 of its commands wait already")
                .arg(client->who)
                .arg(client->queue.size()));
    }
}

bool VpnService::stillAuthorized(const ClientPointer& client)
{
    QString reason;
    if (listener->mayCommand(client->user, &reason)) {
        return true;
    }
    refusals.warn(client->user.id,
        QStringLiteral("Disconnecting %1: it may no longer command the service (%2)").arg(client->who, reason));
    const QList<ClientPointer> all = scheduler->clients();
    for (const ClientPointer& other : all) {
        if (other->user.id == client->user.id) {
            other->queue.clear();
            if (other->socket != nullptr) {
                other->socket->abort();
            }
        }
    }
    return false;
}

void VpnService::checkMemberships()
{
    QStringList asked;
    const QList<ClientPointer> all = scheduler->clients();
    for (const ClientPointer& client : all) {
        if (!client->gone && !asked.contains(client->user.id)) {
            asked.append(client->user.id);
            stillAuthorized(client);
        }
    }
}

void VpnService::execute(const ClientPointer& client, const QString& message)
{
    if (!stillAuthorized(client)) {
        return;
    }
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
            ServiceProtocol::tunLine(
                reason.isEmpty() ? QString() : ServiceLog::printable(reason, ServiceProtocol::maxReasonLength)));
        return;
    }
    // Only the asking user's own lines, whoever holds the tunnel: the key is the kernel's id of the peer.
    if (command.kind == Command::QueryLog) {
        const QStringList lines = userLines.lines(client->user.id);
        for (const QString& line : lines) {
            send(client, ServiceProtocol::userLogLinePrefix + line);
        }
        send(client,
            ServiceProtocol::userLogEndPrefix + QString::number(lines.size()) + QLatin1Char(',')
                + QLatin1String(ProgramConfig::version));
        return;
    }
    // Every other command ends or changes the tunnel, the lock or the resolvers of the whole machine.
    if (refusedWhileHeld(client, command, message)) {
        return;
    }
    activity.info(
        client->user.id, QStringLiteral("Command from %1: %2").arg(client->who, ServiceLog::printable(message)));
    run(client, command);
}

bool VpnService::refusedWhileHeld(const ClientPointer& client, const Command& command, const QString& message)
{
    const QString holder = ownership.heldAgainst(client->user, scheduler->clients());
    if (holder.isEmpty()) {
        return false;
    }
    refusals.warn(client->user.id,
        QStringLiteral("Refused command from %1: the tunnel belongs to %2, whose client is connected: %3")
            .arg(client->who, holder, ServiceLog::printable(message)));
    const QString name = command.kind == Command::Start ? catalog.resolve(command.arguments.value(0)).name : QString();
    if (!name.isEmpty()) {
        send(client, ServiceProtocol::startedLine(0, ProcessQueue::Refused, name));
    }
    return true;
}

void VpnService::run(const ClientPointer& client, const Command& command)
{
    switch (command.kind) {
    case Command::Init: {
        ownership.release();
        // The client's first requests wait for the answer: they must not meet what they come to lift.
        const std::function<void()> release = scheduler->hold(client);
        const std::weak_ptr<ServiceClient> weak = client;
        runner->resetForNewClient(client->user.id, [this, weak, release] {
            if (ClientPointer strong = weak.lock()) {
                send(strong, ServiceProtocol::finishedLine(0, 0, ServiceProtocol::initName));
                send(strong, lockdown.line(strong->user));
            }
            release();
        });
        break;
    }
    case Command::Lockdown: {
        // A member may turn lockdown on, never lift or change another's: only its holder and root may.
        if (!lockdown.mayChange(client->user)) {
            refusals.warn(client->user.id,
                QStringLiteral("Refused lockdown command from %1: lockdown is held by %2")
                    .arg(client->who, lockdown.holder()));
            send(client, lockdown.line(client->user));
            break;
        }
        LockdownMode::State state;
        state.on = command.on;
        state.allowLocal = command.allowLocal;
        state.servers = command.arguments;
        if (state.on) {
            state.holder = client->user.id;
            state.holderName = ServiceLog::printable(
                client->user.name.isEmpty() ? client->user.id : client->user.name, ServiceProtocol::maxHolderLength);
        }
        changeLockdown(client, state);
        break;
    }
    case Command::Start:
        // Until the start is settled (OpenVPN's files read), the client's next commands wait.
        runner->start(command.arguments, true, client->user.uid, client->user.id, scheduler->hold(client));
        break;
    case Command::StopOpenVpn:
        runner->stopOpenVpn(client->user.id);
        break;
    case Command::KillOpenVpn:
        runner->killOpenVpn(client->user.id);
        break;
    case Command::QueryTun:
    case Command::QueryLog:
    case Command::Invalid:
        break;
    }
}

void VpnService::changeLockdown(const ClientPointer& client, const LockdownMode::State& state)
{
    const std::function<void()> release = scheduler->hold(client);
    lockdown.change(state, client->user.id, client->who, [this, release] {
        // Every client says what traffic is blocked: each hears the change.
        const QList<ClientPointer> targets = scheduler->clients();
        for (const ClientPointer& target : targets) {
            send(target, lockdown.line(target->user));
        }
        release();
    });
}

void VpnService::onClientDisconnected(const ClientPointer& client)
{
    // Commands it sent before it went (the client's "init: connection" as it quits) still run.
    scheduler->disconnected(client);
    if (QWebSocket* socket = client->socket) {
        activity.info(client->user.id,
            QStringLiteral("Client disconnected: %1, close code %2 %3")
                .arg(client->who)
                .arg(socket->closeCode())
                .arg(ServiceLog::printable(socket->closeReason())));
        socket->deleteLater();
    }
}

void VpnService::report(const QString& line, const QString& user)
{
    // A run's lines go to the clients of the user it was started for, not to other users.
    int count = 0;
    // A copy: a client that fails to take the line leaves the list.
    const QList<ClientPointer> targets = scheduler->clients();
    for (const ClientPointer& client : targets) {
        if (client->user.id == user) {
            send(client, line);
            ++count;
        }
    }
    if (count == 0) {
        activity.info(user, QStringLiteral("No client of %1 to take %2").arg(user, line));
    }
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
