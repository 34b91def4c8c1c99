#pragma once

#include "lockdownmode.h"
#include "peeruser.h"
#include "programcatalog.h"
#include "programrunner.h"
#include "servicelog.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QStringList>

#include <memory>

class QTcpSocket;
class QWebSocket;
class QWebSocketServer;
class QWebSocketCorsAuthenticator;
class ServiceListener;

// The WebSocket end of the service on 127.0.0.1:6447. Root and the members of one group may
// command it (see ServiceListener); a web page (a handshake with an Origin header) never may.
// The tunnel, the network lock and the resolvers belong to the user whose client changed them
// last: while a client of that user is connected, other users' commands are refused.
class VpnService : public QObject
{
    Q_OBJECT

public:
    // stateFolder: where lockdown keeps its state (LockdownMode).
    VpnService(const ProgramPaths::Paths& programs, const QString& stateFolder, QObject* parent = nullptr);

    // Puts lockdown back as the state file holds it and clears what a killed service left, then
    // listens.
    bool listen();

    static constexpr quint16 port = 6447;
    static constexpr quint64 maxMessageSize = 64 * 1024;
    // Commands of one client waiting for their turn; more are dropped.
    static constexpr int maxQueued = 32;
    // Reports a client does not read; beyond this it is disconnected.
    static constexpr qint64 maxUnsent = 1024 * 1024;

private:
    struct Client
    {
        QPointer<QWebSocket> socket;
        PeerUser user;
        QString who; // for the log
        QQueue<QString> queue;
        // Disconnected; stays listed until its queue is done.
        bool gone = false;
    };
    using ClientPointer = std::shared_ptr<Client>;

    void onAdmitted(QTcpSocket* socket, const PeerUser& user);
    void onOriginAuthentication(QWebSocketCorsAuthenticator* authenticator);
    void onNewConnection();
    void onTextMessage(const ClientPointer& client, const QString& message);
    void onClientDisconnected(const ClientPointer& client);
    void scheduleDispatch();
    void dispatch();
    void execute(const ClientPointer& client, const QString& message);
    // The user whose client holds the tunnel, when it is not this user and that client is connected.
    QString heldAgainst(const PeerUser& user) const;
    void report(const QString& line);
    void changeLockdown(const ClientPointer& client, const LockdownMode::State& state);
    void applyLockdown();
    QString lockdownLine() const;
    void send(const ClientPointer& client, const QString& line);

    ProgramCatalog catalog;
    LockdownMode lockdownMode;
    LockdownMode::State lockdown;
    RefusalLog refusals;
    ServiceListener* listener = nullptr;
    QWebSocketServer* server = nullptr;
    ProgramRunner* runner = nullptr;
    struct Handshake
    {
        QPointer<QTcpSocket> socket;
        PeerUser user;
    };
    QList<Handshake> handshaking;
    QList<ClientPointer> clients;
    bool dispatchScheduled = false;
    // User id of the tunnel's owner; empty when the machine is in its clean state.
    QString tunnelOwner;
    // While a start command runs: who asked, for its "started:" line.
    ClientPointer requester;
    // PID of a reported run -> the user it was started for, for its "finished:" line.
    QHash<qint64, QString> runUsers;
};
