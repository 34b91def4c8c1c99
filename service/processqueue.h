#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QStringList>

#include <functional>
#include <memory>

class OpenVpnLaunch;
class UserLog;

// Runs programs directly (never through a shell), one run per program at a time: a new start
// waits for the previous run of the same program, and a new OpenVPN first ends the one still
// running. Runs are followed through the event loop; each start and end is reported as a status
// line for the user it ran for. Which program may run with which arguments is decided before
// (ProgramRunner); this only runs them.
class ProcessQueue : public QObject
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

    struct Run
    {
        QString name;
        QString executable;
        QStringList arguments;
        bool report = true; // without a status line when false
        QString user; // whose clients hear the run's lines
        // OpenVPN's private files, and the descriptor of the user's log file.
        std::shared_ptr<OpenVpnLaunch> launch;
        std::function<void()> settled; // once it started or was refused
        std::function<void(bool)> ended; // once it ended (true: cleanly) or was refused
    };

    ProcessQueue(UserLog* log, QObject* parent = nullptr);

    // Starts the run now, or once the previous run of its program has ended.
    void enqueue(Run run);
    // Reports the run as not started with the code, and calls its callbacks.
    void refuse(const Run& run, int code);
    bool isRunning(const QString& name) const;
    // SIGTERM (SIGKILL with kill) to the program's run; false when none runs.
    bool signal(const QString& name, bool kill);
    // Ends the program's run without reporting its end: it belongs to an earlier client.
    bool endUnreported(const QString& name);
    // Forgets the waiting runs and ends the running ones, waiting a little for each.
    void endAll();

    // Starts of one program waiting for its previous run; more are refused. A client has one at
    // most: its next command waits until its start is settled.
    static constexpr int maxWaiting = 128;

signals:
    void statusLine(const QString& line, const QString& user);
    // Before the run's own status lines.
    void started(const QString& name, const QString& user);
    void finished(const QString& name);

private:
    class Process;

    void launch(Run run);
    Process* makeProcess(const Run& run);
    void onStarted(const Run& run, QProcess* process);
    void startWaiting(const QString& name);
    void endPrevious(QProcess* previous, bool openVpn);
    void onFinished(QProcess* process, int exitCode, QProcess::ExitStatus status);
    void logOutput(QProcess* process);
    static void signalGroup(QProcess* process, bool kill);
    void note(const QString& user, const QString& text, bool warning = false);

    UserLog* log;
    QHash<QString, QProcess*> running;
    QHash<QString, QList<Run>> waiting;

    static constexpr int openVpnGrace = 10000;
    static constexpr int toolLimit = 30000;
};
