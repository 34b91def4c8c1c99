#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class ServerListModel;
class VpnCore;

// What the main window says about the connection: one state word that is always shown, and every
// problem that holds, each in words naming its cause and the user's next step. A problem stays
// until it no longer holds. The window binds to this and forwards the user's gestures.
class ConnectionStatus : public QObject
{
    Q_OBJECT
    Q_PROPERTY(State state READ state NOTIFY changed)
    Q_PROPERTY(QString stateText READ stateText NOTIFY changed)
    Q_PROPERTY(Problem problem READ problem NOTIFY changed)
    Q_PROPERTY(QString problemText READ problemText NOTIFY changed)
    Q_PROPERTY(Action action READ action NOTIFY changed)
    Q_PROPERTY(QString actionText READ actionText NOTIFY changed)
    // Why the tunnel is down, for the lock's notice.
    Q_PROPERTY(QString causeText READ causeText NOTIFY changed)
    // The round switch is on: a click turns the VPN off (and lifts a lock that blocks).
    Q_PROPERTY(bool switchedOn READ switchedOn NOTIFY changed)
    // A connection can be attempted at all on this host right now.
    Q_PROPERTY(bool canConnect READ canConnect NOTIFY changed)
    // Whose lockdown this user cannot lift, in words; empty while no other user holds it.
    Q_PROPERTY(QString lockdownHolderText READ lockdownHolderText NOTIFY changed)

public:
    enum State
    {
        Disconnected,
        Connecting,
        Connected,
        Disconnecting,
        // The network lock holds without a tunnel: no traffic leaves.
        Blocked
    };
    Q_ENUM(State)

    // In order of importance: the first that holds is the one the action answers.
    enum Problem
    {
        NoProblem,
        ServiceNotRunning,
        NoTunnelDevice,
        InstallationBroken,
        AccountMissing,
        AccountRejected,
        ServerSilent,
        ConnectionFailed,
        ConnectionLost,
        BlockedByLock,
        BlockedByLockdown,
        ProviderUnreachable
    };
    Q_ENUM(Problem)

    enum Action
    {
        NoAction,
        OpenSettings,
        Reconnect
    };
    Q_ENUM(Action)

    ConnectionStatus(VpnCore* core, ServerListModel* model, QObject* parent = nullptr);

    State state() const;
    QString stateText() const;
    Problem problem() const;
    QString problemText() const;
    Action action() const;
    QString actionText() const;
    QString causeText() const;
    QString lockdownHolderText() const;
    // The sentence naming the user who holds lockdown: the settings and the command line say the same.
    static QString lockdownHolderSentence(const QString& holder);
    bool switchedOn() const;
    bool canConnect() const;

    // Every problem that holds, most important first.
    QList<Problem> problems() const;
    QString problemSentence(Problem problem) const;

    // The window's button for the first problem.
    Q_INVOKABLE void act();
    // The round switch was pressed. Empty when it acted, otherwise why it did not, for a tip.
    Q_INVOKABLE QString press();

public slots:
    // The link to the privileged service is up (or down).
    void setServiceRunning(bool running);
    // The host can make a tunnel device (TUN; a TAP adapter on Windows); the controller says so
    // whenever the service answers.
    void setTunnelPossible(bool possible);
    // The lock is kept engaged while no tunnel runs, by the user's choice.
    void setLockdownBlocking(bool blocking);

signals:
    void changed();
    void settingsRequested();

private:
    void update();
    QString snapshot() const;

    VpnCore* core;
    ServerListModel* model;
    bool serviceRunning = true;
    bool tunnelPossible = true;
    bool lockdownBlocking = false;
    // What was last announced, so that only real changes are.
    QString announced;
};
