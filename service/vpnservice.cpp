#include "vpnservice.h"

#include "app/logtag.h"
#include "commandparser.h"
#include "peerprocess.h"
#include "servicelog.h"

#include <QWebSocket>
#include <QWebSocketCorsAuthenticator>
#include <QWebSocketServer>

namespace {

const QString tag = QStringLiteral("VpnService");

#ifdef Q_OS_WIN
const QString clientExecutable = QStringLiteral("/vpnclient.exe");
#else
const QString clientExecutable = QStringLiteral("/vpnclient");
#endif

} // namespace

VpnService::VpnService(const QString& applicationFolder, const QStringList& extraAllowedClients, QObject* parent)
    : QObject(parent)
    , catalog(applicationFolder)
{
    setObjectName(tag);
    allowedClients.append(PeerProcess::canonicalExecutable(catalog.folder() + clientExecutable));
    for (const QString& path : extraAllowedClients) {
        allowedClients.append(PeerProcess::canonicalExecutable(path));
    }

    server = new QWebSocketServer(QStringLiteral("vpn-service"), QWebSocketServer::NonSecureMode, this);
    runner = new ProgramRunner(catalog, this);
    connect(server, &QWebSocketServer::originAuthenticationRequired, this, &VpnService::onOriginAuthentication);
    connect(server, &QWebSocketServer::newConnection, this, &VpnService::onNewConnection);
    connect(server, &QWebSocketServer::acceptError, this, [](QAbstractSocket::SocketError error) {
        tagged(qWarning(), tag) << "Accept error " << error;
    });
    connect(runner, &ProgramRunner::statusLine, this, &VpnService::broadcast);
}

bool VpnService::listen()
{
    // Loopback only: nothing outside this machine may reach the service.
    if (!server->listen(QHostAddress::LocalHost, port)) {
        tagged(qCritical(), tag) << "Cannot listen on 127.0.0.1:" << port << ": " << server->errorString();
        return false;
    }
    tagged(qInfo(), tag) << "Application folder " << catalog.folder();
    for (const ProgramCatalog::Program& program : catalog.programs()) {
        tagged(qInfo(), tag) << "Program " << program.name << ": " << program.path;
    }
    tagged(qInfo(), tag) << "Allowed clients: " << allowedClients.join(QStringLiteral(", "));
    tagged(qInfo(), tag) << "Listening on 127.0.0.1:" << port;
    return true;
}

void VpnService::onOriginAuthentication(QWebSocketCorsAuthenticator* authenticator)
{
    // The client sends no Origin; a browser always does. A web page must never reach us.
    if (!authenticator->origin().isEmpty()) {
        tagged(qWarning(), tag) << "Refused handshake with Origin " << ServiceLog::printable(authenticator->origin());
        authenticator->setAllowed(false);
    }
}

void VpnService::onNewConnection()
{
    while (QWebSocket* client = server->nextPendingConnection()) {
        QString who;
        qint64 uid = -1;
        if (!isAllowedPeer(client, &who, &uid)) {
            tagged(qWarning(), tag) << "Refused connection from " << describe(client) << ": " << who;
            client->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("not allowed"));
            client->abort();
            client->deleteLater();
            continue;
        }
        tagged(qInfo(), tag) << "Client connected: " << describe(client) << " " << who << ", uid " << uid;
        client->setParent(this);
        client->setMaxAllowedIncomingFrameSize(maxMessageSize);
        client->setMaxAllowedIncomingMessageSize(maxMessageSize);
        clients.append(client);
        clientUids.insert(client, uid);
        connect(client, &QWebSocket::textMessageReceived, this, [this, client](const QString& message) {
            onTextMessage(client, message);
        });
        connect(client, &QWebSocket::binaryMessageReceived, this, [this, client](const QByteArray& message) {
            onBinaryMessage(client, message);
        });
        connect(client, &QWebSocket::disconnected, this, [this, client] {
            onClientDisconnected(client);
        });
    }
}

bool VpnService::isAllowedPeer(QWebSocket* client, QString* who, qint64* uid) const
{
    if (!client->peerAddress().isLoopback()) {
        *who = QStringLiteral("not on loopback");
        return false;
    }
    const QList<PeerProcess::Owner> owners
        = PeerProcess::owners(client->peerAddress(), client->peerPort(), client->localAddress(), client->localPort());
    if (owners.isEmpty()) {
        *who = QStringLiteral("no process found for the connection");
        return false;
    }
    // Every process that holds the peer's socket must be the client: a handle shared with
    // anything else would let that process speak for it.
    QStringList described;
    bool allowed = true;
    for (const PeerProcess::Owner& owner : owners) {
        described.append(QStringLiteral("PID %1 %2").arg(owner.pid).arg(owner.executable));
        bool match = false;
        for (const QString& path : allowedClients) {
            match = match || (!owner.executable.isEmpty() && PeerProcess::samePath(owner.executable, path));
        }
        allowed = allowed && match;
        // Processes of different users sharing the socket: no user's files are trusted.
        if (&owner == &owners.first()) {
            *uid = owner.uid;
        } else if (*uid != owner.uid) {
            *uid = -1;
        }
    }
    *who = described.join(QStringLiteral(", "));
    if (!allowed) {
        *who += QStringLiteral(" is not an allowed client");
    }
    return allowed;
}

QString VpnService::describe(const QWebSocket* client)
{
    return QStringLiteral("%1:%2").arg(client->peerAddress().toString()).arg(client->peerPort());
}

void VpnService::onTextMessage(QWebSocket* client, const QString& message)
{
    const Command command = Command::parse(message);
    if (command.kind == Command::Invalid) {
        tagged(qWarning(), tag) << "Refused command from " << describe(client) << " (" << command.error
                                << "): " << ServiceLog::printable(message);
        return;
    }
    tagged(qInfo(), tag) << "Command from " << describe(client) << ": " << ServiceLog::printable(message, 2000);
    switch (command.kind) {
    case Command::Init:
        runner->resetForNewClient();
        break;
    case Command::Start:
        runner->start(command.arguments, true, clientUids.value(client, -1));
        break;
    case Command::StopOpenVpn:
        runner->stopOpenVpn();
        break;
    case Command::KillOpenVpn:
        runner->killOpenVpn();
        break;
    case Command::Invalid:
        break;
    }
}

void VpnService::onBinaryMessage(QWebSocket* client, const QByteArray& message)
{
    tagged(qWarning(), tag) << "Refused binary message of " << message.size() << " bytes from " << describe(client);
}

void VpnService::onClientDisconnected(QWebSocket* client)
{
    tagged(qInfo(), tag) << "Client disconnected: " << describe(client) << ", close code " << client->closeCode() << " "
                         << ServiceLog::printable(client->closeReason());
    clients.removeAll(client);
    clientUids.remove(client);
    client->deleteLater();
}

void VpnService::broadcast(const QString& line)
{
    tagged(qInfo(), tag) << "Report " << line << " to " << clients.size() << " client(s)";
    for (QWebSocket* client : qAsConst(clients)) {
        client->sendTextMessage(line + QLatin1Char('\n'));
    }
}
