#pragma once

#include "processqueue.h"
#include "programcatalog.h"

#include <QObject>
#include <QStringList>

#include <functional>

class OpenVpnPreparation;
class UserLog;

// Runs the catalog's programs for the clients and for the service itself, and holds the policy
// around them: what a client may have the kill switch tool do (KillSwitchFilter), what a fresh
// client finds cleaned up, and that the guard of a tunnel goes with the tunnel. The runs
// themselves are the ProcessQueue's; an OpenVPN run's user files are read first
// (OpenVpnPreparation). Nothing here waits on the service's thread.
class ProgramRunner : public QObject
{
    Q_OBJECT

public:
    // log: where the lines about a user's runs go, bounded per user.
    ProgramRunner(const ProgramCatalog& catalog, UserLog* log, QObject* parent = nullptr);
    ~ProgramRunner() override;

    // arguments: the requested program path first. Runs without a status line when report is false.
    // peerUid: the user of the client that asked, whose files OpenVPN may use (-1: none); user: the
    // key of that user, whose clients hear the run's lines. settled (may be empty) is called once
    // the run started or was refused, perhaps later (after the previous run of the program); ended
    // (may be empty) once it ended or was refused, with true for a clean end.
    void start(const QStringList& arguments, bool report = true, qint64 peerUid = -1, const QString& user = {},
        const std::function<void()>& settled = {}, const std::function<void(bool)>& ended = {});
    // user: who asked, for the log.
    void stopOpenVpn(const QString& user);
    void killOpenVpn(const QString& user);
    // A fresh client: ends a left-over OpenVPN, lifts a network lock left engaged, restores the
    // user's resolvers and clears what a tunnel left on the VPN adapters; done is called when all
    // of that has ended.
    void resetForNewClient(const QString& user, const std::function<void()>& done);
    // Runs the kill switch tool without a status line; ended as for start.
    // user: whose command it serves, whose log lines they are; none for the service's own.
    void runKillSwitch(
        const QStringList& arguments, const std::function<void(bool)>& ended = {}, const QString& user = QString());
    // The guard of a tunnel goes with the tunnel: when OpenVPN ends, however it ends, and when a
    // service starts after one was killed with a tunnel up. The marker file says so: it exists
    // while an OpenVPN runs and outlives a service that is killed.
    void setTunnelMarker(const QString& path);
    void liftLeftTunnelGuard();

signals:
    void statusLine(const QString& line, const QString& user);
    // An OpenVPN run started for this user.
    void openVpnStarted(const QString& user);
    // The OpenVPN run has ended, however it ended.
    void openVpnEnded();

private:
    void onStarted(const QString& name, const QString& user);
    void onFinished(const QString& name);
    void liftTunnelGuard();
    // Why a tunnel cannot be guarded now; empty when it can.
    QString guardRefusal() const;
    // A tool of the service's folder without a status line; a missing one ends at once.
    void runTool(const QString& name, const QStringList& arguments, const std::function<void(bool)>& ended,
        const QString& user = {});
    void note(const QString& user, const QString& text, bool warning = false);

    ProgramCatalog catalog;
    UserLog* log;
    ProcessQueue* queue;
    OpenVpnPreparation* preparation;
    QString tunnelMarker;
};
