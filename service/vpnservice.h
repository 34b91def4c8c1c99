#pragma once

#include "lockdownmode.h"
#include "peeruser.h"
#include "programcatalog.h"
#include "programrunner.h"
#include "servicelog.h"
#include "userlines.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QStringList>

#include <functional>
#include <memory>

struct Command;
class QTcpSocket;
class QTimer;
class QWebSocket;
class QWebSocketServer;
class QWebSocketCorsAuthenticator;
class ServiceListener;

// The WebSocket end of the service on 127.0.0.1:6447. Root and the members of one group may
// command it (see ServiceListener); a web page (a handshake with an Origin header) never may.
// The tunnel, the network lock and the resolvers belong to the user whose command started the
// tunnel: while a client of that user is connected, other users' commands are refused, root's
// excepted. Membership is asked again for every command; a user who lost it is disconnected.
// Commands are served one user at a time in turn, and a user who used up its share of the
// service's time waits, so that no user's commands can starve another's.
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
    // Commands of one client waiting for their turn; more are dropped.
    static constexpr int maxQueued = 32;
    // Reports a client does not read; beyond this it is disconnected.
    static constexpr qint64 maxUnsent = 1024 * 1024;
    // The service's time one user's commands may take: a burst, then this share of each second.
    static constexpr double budgetBurstMs = 50;
    static constexpr double budgetShare = 0.25;
    // How often the connected users' membership is asked again.
    static constexpr int revocationCheckMs = 2000;

private:
    struct Client
    {
        QPointer<QWebSocket> socket;
        PeerUser user;
        QString who; // for the log
        QQueue<QString> queue;
        // Disconnected; stays listed until its queue is done.
        bool gone = false;
        // A start of OpenVPN under way (its files being read): its next commands wait.
        bool busy = false;
    };
    // The service's time a user's commands took lately, in milliseconds, draining at budgetShare.
    struct Budget
    {
        double spentMs = 0;
        QElapsedTimer drained;
    };
    using ClientPointer = std::shared_ptr<Client>;

    void onAdmitted(QTcpSocket* socket, const PeerUser& user);
    void onOriginAuthentication(QWebSocketCorsAuthenticator* authenticator);
    void onNewConnection();
    // A connection the listener admitted for the user, whose handshake is done.
    void addClient(QWebSocket* socket, QTcpSocket* tcp, const PeerUser& user);
    void onTextMessage(const ClientPointer& client, const QString& message);
    void onClientDisconnected(const ClientPointer& client);
    void scheduleDispatch();
    void dispatch();
    void execute(const ClientPointer& client, const QString& message);
    // Refuses, and says so, a command of another user than the one whose client holds the tunnel.
    bool refusedWhileHeld(const ClientPointer& client, const Command& command, const QString& message);
    void run(const ClientPointer& client, const Command& command);
    // The user whose client holds the tunnel, when it is not this user and that client is connected.
    QString heldAgainst(const PeerUser& user) const;
    void report(const QString& line, const QString& user);
    bool withinBudget(const QString& user);
    void charge(const PeerUser& user, double milliseconds);
    // Closes the connections of users who may no longer command the service; false for this one.
    bool stillAuthorized(const ClientPointer& client);
    void checkMemberships();
    void send(const ClientPointer& client, const QString& line);
    // Until done is called the client's next commands wait.
    void holdClient(const ClientPointer& client);
    std::function<void()> releaseClient(const ClientPointer& client);
    void changeLockdown(const ClientPointer& client, const LockdownMode::State& state);
    void applyLockdown(const std::function<void()>& done = {});
    QString lockdownLine() const;

    ProgramCatalog catalog;
    LockdownMode lockdownMode;
    LockdownMode::State lockdown;
    // What was logged about each user, for that user's "query: log".
    UserLines userLines;
    UserLog refusals;
    // The users' connections, commands and runs: more of them, but bounded too.
    UserLog activity;
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
    QHash<QString, Budget> budgets;
    QTimer* budgetRetry = nullptr;
};
