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
    // user's resolvers and clears what a tunnel left on the VPN adapters.
    void resetForNewClient();

signals:
    void statusLine(const QString& line);

private:
    void run(const QString& name, const QString& executable, const QStringList& arguments, bool report,
        std::unique_ptr<OpenVpnLaunch> launch);
    void waitForPrevious(const QString& name);
    void onFinished(QProcess* process, int exitCode, QProcess::ExitStatus status);
    void logOutput(QProcess* process);
    static void signalGroup(QProcess* process, bool kill);

    ProgramCatalog catalog;
    QHash<QString, QProcess*> running;

    static constexpr int startTimeout = 10000;
    static constexpr int openVpnGrace = 10000;
    static constexpr int toolLimit = 30000;
    static constexpr int killWait = 3000;
};
