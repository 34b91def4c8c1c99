#include "vpnservice.h"

#include "programconfig.h"

#include "commandparser.h"
#include "foundation/logtag.h"
#include "foundation/tundevice.h"
#include "protocol/serviceprotocol.h"
#include "servicelistener.h"

#include <QFileInfo>
#include <QTimer>

#include <QWebSocket>
#include <QWebSocketCorsAuthenticator>
#include <QWebSocketServer>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <ctime>
#endif

namespace {

const QString tag = QStringLiteral("VpnService");

constexpr qint64 readBufferSize = 256 * 1024;

// The time this thread has run, in milliseconds: what a command cost the service itself.
double threadMs()
{
#ifdef Q_OS_UNIX
    timespec now = {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
#else
    static QElapsedTimer clock;
    if (!clock.isValid()) {
        clock.start();
    }
    return double(clock.nsecsElapsed()) / 1e6;
#endif
}

} // namespace

VpnService::VpnService(const ProgramPaths::Paths& programs, const QString& stateFolder, QObject* parent)
    : QObject(parent)
    , catalog(programs)
    , lockdownMode(stateFolder)
    , refusals(tag, 50, 5)
    , activity(tag, 300, 20)
{
    activity.exempt(PeerUser::rootId());
    refusals.keepLines(&userLines);
    activity.keepLines(&userLines);
    setObjectName(tag);
    listener = new ServiceListener(&refusals, this);
    server = new QWebSocketServer(QStringLiteral("vpn-service"), QWebSocketServer::NonSecureMode, this);
    server->setHandshakeTimeout(ServiceListener::handshakeDeadlineMs);
    runner = new ProgramRunner(catalog, &activity, this);
    connect(listener, &ServiceListener::admitted, this, &VpnService::onAdmitted);
    connect(server, &QWebSocketServer::originAuthenticationRequired, this, &VpnService::onOriginAuthentication);
    connect(server, &QWebSocketServer::newConnection, this, &VpnService::onNewConnection);
    connect(runner, &ProgramRunner::statusLine, this, &VpnService::report);
    connect(runner, &ProgramRunner::openVpnStarted, this, [this](const QString& user) {
        // Only a run that really started makes its user the owner.
        tunnelOwner = user;
    });
    budgetRetry = new QTimer(this);
    budgetRetry->setSingleShot(true);
    connect(budgetRetry, &QTimer::timeout, this, &VpnService::scheduleDispatch);
    auto* memberships = new QTimer(this);
    connect(memberships, &QTimer::timeout, this, &VpnService::checkMemberships);
    memberships->start(revocationCheckMs);
}

bool VpnService::listen()
{
    // Lockdown holds from the service's start, and a service killed with a tunnel up left that
    // tunnel's guard. (The tool's runs come before any client's: they are queued first.)
    QString problem;
    lockdown = lockdownMode.load(&problem);
    if (!problem.isEmpty()) {
        tagged(qCritical(), tag) << "Lockdown state: " << ServiceLog::printable(problem) << "; lockdown stays on";
    }
    if (lockdown.on) {
        applyLockdown();
    }
    runner->setTunnelMarker(QFileInfo(lockdownMode.filePath()).path() + QStringLiteral("/tunnel"));
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
    activity.info(client->user.id,
        QStringLiteral("Client connected: %1 (%2 connections open)").arg(client->who).arg(listener->openConnections()));
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
    // One command of each user per turn, then back to the event loop: a user with a long queue
    // or many connections never holds up the others' commands or their connections.
    const QList<ClientPointer> turn = clients;
    QStringList served;
    bool waitingForBudget = false;
    for (const ClientPointer& client : turn) {
        if (client->queue.isEmpty() || client->busy || served.contains(client->user.id) || !clients.contains(client)) {
            continue;
        }
        if (!withinBudget(client->user.id)) {
            waitingForBudget = true;
            continue;
        }
        served.append(client->user.id);
        // The user's next turn begins with its other connections.
        clients.removeAll(client);
        clients.append(client);
        const double before = threadMs();
        execute(client, client->queue.dequeue());
        charge(client->user, threadMs() - before);
    }
    for (const ClientPointer& client : turn) {
        if (client->gone && client->queue.isEmpty() && !client->busy) {
            clients.removeAll(client);
        } else if (!client->queue.isEmpty() && !client->busy && served.contains(client->user.id)) {
            scheduleDispatch();
        }
    }
    if (waitingForBudget && !budgetRetry->isActive()) {
        budgetRetry->start(qRound(budgetBurstMs));
    }
}

bool VpnService::withinBudget(const QString& user)
{
    auto found = budgets.find(user);
    if (found == budgets.end()) {
        return true;
    }
    found->spentMs = qMax(0.0, found->spentMs - double(found->drained.restart()) * budgetShare);
    if (found->spentMs <= 0) {
        budgets.erase(found);
        return true;
    }
    return found->spentMs < budgetBurstMs;
}

void VpnService::charge(const PeerUser& user, double milliseconds)
{
    if (user.isRoot()) {
        return; // root waits for nobody
    }
    Budget& budget = budgets[user.id];
    if (!budget.drained.isValid()) {
        budget.drained.start();
    }
    budget.spentMs += milliseconds;
}

bool VpnService::stillAuthorized(const ClientPointer& client)
{
    QString reason;
    if (listener->mayCommand(client->user, &reason)) {
        return true;
    }
    refusals.warn(client->user.id,
        QStringLiteral("Disconnecting %1: it may no longer command the service (%2)").arg(client->who, reason));
    const QList<ClientPointer> all = clients;
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
    const QList<ClientPointer> all = clients;
    for (const ClientPointer& client : all) {
        if (!client->gone && !asked.contains(client->user.id)) {
            asked.append(client->user.id);
            stillAuthorized(client);
        }
    }
}

QString VpnService::heldAgainst(const PeerUser& user) const
{
    // Root can always end another user's tunnel and lift the lock.
    if (tunnelOwner.isEmpty() || tunnelOwner == user.id || user.isRoot()) {
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
    const QString holder = heldAgainst(client->user);
    if (holder.isEmpty()) {
        return false;
    }
    refusals.warn(client->user.id,
        QStringLiteral("Refused command from %1: the tunnel belongs to %2, whose client is connected: %3")
            .arg(client->who, holder, ServiceLog::printable(message)));
    const QString name = command.kind == Command::Start ? catalog.resolve(command.arguments.value(0)).name : QString();
    if (!name.isEmpty()) {
        send(client, ServiceProtocol::startedLine(0, ProgramRunner::Refused, name));
    }
    return true;
}

void VpnService::run(const ClientPointer& client, const Command& command)
{
    switch (command.kind) {
    case Command::Init: {
        tunnelOwner.clear();
        // The client's first requests wait for the answer: they must not meet what they come to lift.
        holdClient(client);
        const std::function<void()> release = releaseClient(client);
        const std::weak_ptr<Client> weak = client;
        runner->resetForNewClient(client->user.id, [this, weak, release] {
            if (ClientPointer strong = weak.lock()) {
                send(strong, ServiceProtocol::finishedLine(0, 0, ServiceProtocol::initName));
                send(strong, lockdownLine());
            }
            release();
        });
        break;
    }
    case Command::Lockdown: {
        LockdownMode::State state;
        state.on = command.on;
        state.allowLocal = command.allowLocal;
        state.servers = command.arguments;
        changeLockdown(client, state);
        break;
    }
    case Command::Start:
        // Until the start is settled (OpenVPN's files read), the client's next commands wait.
        holdClient(client);
        runner->start(command.arguments, true, client->user.uid, client->user.id, releaseClient(client));
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

void VpnService::holdClient(const ClientPointer& client)
{
    client->busy = true;
}

std::function<void()> VpnService::releaseClient(const ClientPointer& client)
{
    const std::weak_ptr<Client> weak = client;
    return [this, weak] {
        if (ClientPointer strong = weak.lock()) {
            strong->busy = false;
            if (strong->gone && strong->queue.isEmpty()) {
                clients.removeAll(strong);
            }
            scheduleDispatch();
        }
    };
}

void VpnService::changeLockdown(const ClientPointer& client, const LockdownMode::State& state)
{
    QString error;
    if (!lockdownMode.save(state, &error)) {
        // Held for this run all the same; the next start reads the previous state.
        tagged(qCritical(), tag) << "Cannot keep the lockdown state: " << ServiceLog::printable(error);
    }
    const bool changed = state.on != lockdown.on;
    lockdown = state;
    activity.info(client->user.id,
        QStringLiteral("Lockdown %1, %2 %3: %4 VPN server address(es), local network %5")
            .arg(state.on ? QStringLiteral("on") : QStringLiteral("off"),
                changed ? QStringLiteral("turned so by") : QStringLiteral("kept by"), client->who)
            .arg(state.servers.size())
            .arg(state.allowLocal ? QStringLiteral("allowed") : QStringLiteral("blocked")));
    holdClient(client);
    const std::function<void()> release = releaseClient(client);
    applyLockdown([this, release] {
        // Every client says what traffic is blocked: each hears the change.
        const QList<ClientPointer> targets = clients;
        for (const ClientPointer& target : targets) {
            send(target, lockdownLine());
        }
        release();
    });
}

void VpnService::applyLockdown(const std::function<void()>& done)
{
    if (lockdown.on) {
        const QString api = LockdownMode::apiAddress();
        tagged(qInfo(), tag) << "Lockdown lets through " << lockdown.servers.size()
                             << " VPN server address(es), the API at "
                             << (api.isEmpty() ? QStringLiteral("(a name, not let through)") : api)
                             << ", DHCP, neighbour discovery, the tunnels"
                             << (lockdown.allowLocal ? " and the local network" : "");
    }
    runner->runKillSwitch(LockdownMode::toolArguments(lockdown), [done](bool ok) {
        if (!ok) {
            tagged(qCritical(), tag) << "The kill switch tool did not put lockdown in place";
        }
        if (done) {
            done();
        }
    });
}

QString VpnService::lockdownLine() const
{
    return ServiceProtocol::lockdownLine(lockdown.on);
}

void VpnService::onClientDisconnected(const ClientPointer& client)
{
    // Commands it sent before it went (the client's "init: connection" as it quits) still run.
    client->gone = true;
    if (client->queue.isEmpty() && !client->busy) {
        clients.removeAll(client);
    }
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
    const QList<ClientPointer> targets = clients;
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
