#pragma once

#include "programcatalog.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QStringList>

#include <functional>
#include <memory>

class OpenVpnLaunch;
class UserLog;

// Runs the catalog's programs directly (never through a shell) and reports each start and end
// as a status line for the user it ran for. One run per program at a time: a new start waits for
// the previous run of the same program (a new OpenVPN first ends the one still running). Nothing
// here waits on the service's thread: runs are followed through the event loop, and the user's
// files for an OpenVPN run are read on a thread of their own, within a deadline.
class ProgramRunner : public QObject
{
    Q_OBJECT

public:
    // The number in a "started:" line when the program did not start.
    enum StartResult
    {
        StartedOk = 0,
        Refused = 1, // not one of the service's programs, or unsafe
        FailedToStart = 2 // missing, not executable, or the system refused
    };

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

    // Before the user's files are read they may not be waited on for longer.
    static constexpr int fileDeadlineMs = 2000;
    // Starts of one program waiting for its previous run; more are refused. A client has one at
    // most: its next command waits until its start is settled.
    static constexpr int maxWaiting = 128;

signals:
    void statusLine(const QString& line, const QString& user);
    // An OpenVPN run started for this user.
    void openVpnStarted(const QString& user);

private:
    struct Run
    {
        QString name;
        QString executable;
        QStringList arguments;
        bool report = true;
        QString user;
        std::shared_ptr<OpenVpnLaunch> launch;
        std::function<void()> settled;
        std::function<void(bool)> ended;
    };
    struct Preparation;
    class Process;

    void prepareOpenVpn(const Run& run, qint64 peerUid);
    // Once the files are read, or the deadline passed: the run goes on, or it is refused.
    void settlePreparation(const Run& run, qint64 peerUid, const std::shared_ptr<Preparation>& preparation);
    void enqueue(Run run);
    void launch(Run run);
    Process* makeProcess(const Run& run);
    // Records the started run and reports it.
    void onStarted(const Run& run, QProcess* process);
    void startWaiting(const QString& name);
    void endPrevious(QProcess* previous, bool openVpn);
    void onFinished(QProcess* process, int exitCode, QProcess::ExitStatus status);
    void logOutput(QProcess* process);
    void refuse(const Run& run, int code);
    void liftTunnelGuard();
    // A tool of the service's folder without a status line; a missing one ends at once.
    void runTool(const QString& name, const QStringList& arguments, const std::function<void(bool)>& ended,
        const QString& user = {});
    // What the kill switch tool runs for a client's request; empty with the reason when refused.
    QStringList clientKillSwitchArguments(const QStringList& arguments, QString* error) const;
    static void signalGroup(QProcess* process, bool kill);

    void note(const QString& user, const QString& text, bool warning = false);

    ProgramCatalog catalog;
    UserLog* log;
    QHash<QString, QProcess*> running;
    QHash<QString, QList<Run>> waiting;
    QString tunnelMarker;
    // Users whose file access has not ended (a hung file system): no second one is started.
    QHash<qint64, std::shared_ptr<Preparation>> preparing;

    static constexpr int maxPreparing = 8;
    static constexpr int openVpnGrace = 10000;
    static constexpr int toolLimit = 30000;
};
