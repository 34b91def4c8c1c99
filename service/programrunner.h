#pragma once

#include "programcatalog.h"

#include <QHash>
#include <QObject>
#include <QProcess>
#include <QStringList>

#include <memory>

class OpenVpnLaunch;

// Runs the catalog's programs directly (never through a shell) and reports each start and end
// as a status line. One run per program at a time: a new start waits for the previous run of
// the same program, and a new OpenVPN first ends the one still running.
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

    explicit ProgramRunner(const ProgramCatalog& catalog, QObject* parent = nullptr);
    ~ProgramRunner() override;

    // arguments: the requested program path first. Runs without a status line when report is false.
    // peerUid: the user of the client that asked, whose files OpenVPN may use (-1: none).
    void start(const QStringList& arguments, bool report = true, qint64 peerUid = -1);
    void stopOpenVpn();
    void killOpenVpn();
    // A fresh client: ends a left-over OpenVPN, lifts a network lock left engaged, restores the
    // user's resolvers and clears what a tunnel left on the VPN adapters; returns when all is done.
    void resetForNewClient();
    // The guard of a tunnel goes with the tunnel: when OpenVPN ends, however it ends, and when a
    // service starts after one was killed with a tunnel up (the marker file says so: it exists
    // while an OpenVPN runs, and survives a service that is killed).
    void liftTunnelGuard();
    void setTunnelMarker(const QString& path);
    void liftLeftTunnelGuard();
    // Runs one of the tools without a status line and waits for its end; true when it ended well.
    bool runToEnd(const QString& name, const QStringList& arguments);

signals:
    void statusLine(const QString& line);

private:
    void run(const QString& name, const QString& executable, const QStringList& arguments, bool report,
        std::unique_ptr<OpenVpnLaunch> launch);
    void waitForPrevious(const QString& name);
    // What the kill switch tool runs for a client's request; empty with the reason when refused.
    QStringList clientKillSwitchArguments(const QStringList& arguments, QString* error) const;

    void onFinished(QProcess* process, int exitCode, QProcess::ExitStatus status);
    void logOutput(QProcess* process);
    static void signalGroup(QProcess* process, bool kill);

    ProgramCatalog catalog;
    QHash<QString, QProcess*> running;
    QString tunnelMarker;

    static constexpr int startTimeout = 10000;
    static constexpr int openVpnGrace = 10000;
    static constexpr int toolLimit = 30000;
    static constexpr int killWait = 3000;
};
