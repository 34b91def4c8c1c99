#pragma once

#include "commandscheduler.h"
#include "lockdownkeeper.h"
#include "peeruser.h"
#include "programcatalog.h"
#include "programrunner.h"
#include "servicelog.h"
#include "tunnelownership.h"
#include "userlines.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

struct Command;
class QTcpSocket;
class QTimer;
class QWebSocket;
class QWebSocketServer;
class QWebSocketCorsAuthenticator;
class ServiceListener;

// The WebSocket end of the service on 127.0.0.1:6447, and what each command does. Root and the
// members of one group may command it (see ServiceListener); a web page (a handshake with an
// Origin header) never may. Membership is asked again for every command; a user who lost it is
// disconnected. The commands wait for their turn in the CommandScheduler; who may change the
// tunnel is the TunnelOwnership's answer, and lockdown is put in place by the LockdownKeeper.
class VpnService : public QObject
{
    Q_OBJECT

public:
    // stateFolder: where lockdown keeps its state (LockdownMode).
    VpnService(const ProgramPaths::Paths& programs, const QString& stateFolder, QObject* parent = nullptr);

    // Puts lockdown back as its state file says and lifts what a killed service left, then listens.
    bool listen();

    static constexpr quint16 port = 6447;
    static constexpr quint64 maxMessageSize = 64 * 1024;
    // Reports a client does not read; beyond this it is disconnected.
    static constexpr qint64 maxUnsent = 1024 * 1024;
    // What a user's refusals, and the rest of what a user causes, may add to the log: a burst, then
    // this much a second (the log and its kept files hold days of it).
    static constexpr int refusalBurstBytes = 8 * 1024;
    static constexpr int refusalBytesPerSecond = 256;
    static constexpr int activityBurstBytes = 32 * 1024;
    static constexpr int activityBytesPerSecond = 1024;
    // How often the connected users' membership is asked again.
    static constexpr int revocationCheckMs = 2000;

private:
    void onAdmitted(QTcpSocket* socket, const PeerUser& user);
    void onOriginAuthentication(QWebSocketCorsAuthenticator* authenticator);
    void onNewConnection();
    // A connection the listener admitted for the user, whose handshake is done.
    void addClient(QWebSocket* socket, QTcpSocket* tcp, const PeerUser& user);
    void onTextMessage(const ClientPointer& client, const QString& message);
    void onClientDisconnected(const ClientPointer& client);
    void execute(const ClientPointer& client, const QString& message);
    // Refuses, and says so, a command of another user than the one whose client holds the tunnel.
    bool refusedWhileHeld(const ClientPointer& client, const Command& command, const QString& message);
    void run(const ClientPointer& client, const Command& command);
    void report(const QString& line, const QString& user);
    // Closes the connections of users who may no longer command the service; false for this one.
    bool stillAuthorized(const ClientPointer& client);
    void checkMemberships();
    void send(const ClientPointer& client, const QString& line);
    void changeLockdown(const ClientPointer& client, const LockdownMode::State& state);

    ProgramCatalog catalog;
    // What was logged about each user, for that user's "query: log".
    UserLines userLines;
    UserLog refusals;
    // The users' connections, commands and runs: more of them, but bounded too.
    UserLog activity;
    ServiceListener* listener = nullptr;
    QWebSocketServer* server = nullptr;
    ProgramRunner* runner = nullptr;
    CommandScheduler* scheduler = nullptr;
    TunnelOwnership ownership;
    LockdownKeeper lockdown;
    struct Handshake
    {
        QPointer<QTcpSocket> socket;
        PeerUser user;
    };
    QList<Handshake> handshaking;
};
