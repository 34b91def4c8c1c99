#include "processqueue.h"

#include "foundation/logtag.h"
#include "openvpnlaunch.h"
#include "protocol/serviceprotocol.h"
#include "servicelog.h"
#include "serviceprocess.h"

#include <QFileInfo>
#include <QTimer>

namespace {

// The runs are the runner's in the log.
const QString tag = QStringLiteral("ProgramRunner");
const QString openVpnName = QStringLiteral("openvpn");
const char* const nameProperty = "programName";
const char* const pidProperty = "programPid";
const char* const reportProperty = "programReport";
const char* const userProperty = "programUser";
const char* const endingProperty = "programEnding";
const char* const endedProperty = "programEnded";

// Carries a run's end callback on its process.
struct EndedCallback
{
    std::function<void(bool)> call;
};
constexpr int startTimeout = 10000;
constexpr int killWait = 3000;

} // namespace

// Each program leads a process group of its own, so that stop and kill reach whatever it
// started (a launcher script and the OpenVPN it runs, an OpenVPN script hook).
class ProcessQueue::Process : public QProcess
{
public:
    using QProcess::QProcess;

    // Lives as long as the run: its private configuration goes when the process object goes.
    std::shared_ptr<OpenVpnLaunch> launch;
    // Becomes the child's standard output and error (Windows: STARTUPINFO's handles instead).
    int outputFd = -1;

protected:
    void setupChildProcess() override
    {
        ServiceProcess::prepareChild(outputFd, OpenVpnLaunch::maxLogGrowth);
    }
};

ProcessQueue::ProcessQueue(UserLog* userLog, QObject* parent)
    : QObject(parent)
    , log(userLog)
{ }

void ProcessQueue::note(const QString& user, const QString& text, bool warning)
{
    log->write(warning ? QtWarningMsg : QtInfoMsg, tag, user, text);
}

void ProcessQueue::endAll()
{
    waiting.clear();
    const QList<QProcess*> processes = running.values();
    for (QProcess* process : processes) {
        process->disconnect(this);
        signalGroup(process, false);
        if (!process->waitForFinished(killWait)) {
            signalGroup(process, true);
            process->waitForFinished(killWait);
        }
    }
    running.clear();
}

bool ProcessQueue::isRunning(const QString& name) const
{
    return running.contains(name);
}

bool ProcessQueue::signal(const QString& name, bool kill)
{
    QProcess* process = running.value(name);
    if (process == nullptr) {
        return false;
    }
    signalGroup(process, kill);
    return true;
}

bool ProcessQueue::endUnreported(const QString& name)
{
    QProcess* process = running.value(name);
    if (process == nullptr) {
        return false;
    }
    process->setProperty(reportProperty, false);
    endPrevious(process, name == openVpnName);
    return true;
}

void ProcessQueue::refuse(const Run& run, int code)
{
    if (run.ended) {
        run.ended(false);
    }
    if (run.report && !run.name.isEmpty()) {
        emit statusLine(ServiceProtocol::startedLine(0, code, run.name), run.user);
    }
    if (run.settled) {
        run.settled();
    }
}

void ProcessQueue::enqueue(Run run)
{
    QProcess* previous = running.value(run.name);
    if (previous == nullptr) {
        launch(run);
        return;
    }
    QList<Run>& queue = waiting[run.name];
    if (queue.size() >= maxWaiting) {
        note(run.user, QStringLiteral("Refused to run %1: %2 runs wait already").arg(run.name).arg(queue.size()), true);
        refuse(run, Refused);
        return;
    }
    queue.append(run);
    note(run.user, QStringLiteral("Waiting for the previous %1 to end").arg(run.name));
    // Two OpenVPNs would fight over the adapter; a tool's run ends within its time limit.
    if (run.name == openVpnName) {
        endPrevious(previous, true);
    }
}

void ProcessQueue::endPrevious(QProcess* previous, bool openVpn)
{
    if (!openVpn || previous->property(endingProperty).toBool()) {
        return;
    }
    previous->setProperty(endingProperty, true);
    signalGroup(previous, false);
    QTimer::singleShot(openVpnGrace, previous, [previous] {
        tagged(qWarning(), tag) << "The previous openvpn does not end, killing it";
        signalGroup(previous, true);
    });
}

void ProcessQueue::startWaiting(const QString& name)
{
    auto queue = waiting.find(name);
    if (queue == waiting.end() || running.contains(name)) {
        return;
    }
    const Run next = queue->takeFirst();
    if (queue->isEmpty()) {
        waiting.erase(queue);
    }
    launch(next);
    // A later OpenVPN start replaces this one at once, as it would have had it come later.
    if (waiting.contains(name) && running.contains(name)) {
        endPrevious(running.value(name), name == openVpnName);
    }
}

void ProcessQueue::launch(Run run)
{
    const QString name = run.name;
    Process* process = makeProcess(run);
    note(run.user,
        QStringLiteral("Start %1: %2 %3")
            .arg(name, run.executable, ServiceLog::printable(run.arguments.join(QLatin1Char(' ')))));
    process->start();
    const bool started = process->waitForStarted(startTimeout);
    if (process->launch) {
        process->launch->closeOutput();
        process->outputFd = -1;
    }
    if (!started) {
        note(run.user, QStringLiteral("Could not start %1: %2").arg(name, process->errorString()), true);
        process->setProperty(endedProperty, QVariant());
        process->disconnect(this);
        process->deleteLater();
        refuse(run, FailedToStart);
        startWaiting(name);
        return;
    }
    onStarted(run, process);
}

ProcessQueue::Process* ProcessQueue::makeProcess(const Run& run)
{
    auto* process = new Process(this);
    process->setProgram(run.executable);
    process->setArguments(run.arguments);
    process->setWorkingDirectory(QFileInfo(run.executable).absolutePath());
    if (run.launch) {
        // OpenVPN writes its log to standard output when it has no log option: into the user's
        // log file, through the descriptor the service opened.
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        process->outputFd = run.launch->outputDescriptor();
        process->launch = run.launch;
    } else {
        process->setProcessChannelMode(QProcess::MergedChannels);
    }
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProperty(nameProperty, run.name);
    process->setProperty(reportProperty, run.report);
    process->setProperty(userProperty, run.user);
    if (run.ended) {
        auto* callback = new EndedCallback { run.ended };
        process->setProperty(endedProperty, QVariant::fromValue(static_cast<void*>(callback)));
        connect(process, &QObject::destroyed, [callback] {
            delete callback;
        });
    }
    connect(process, &QProcess::readyReadStandardOutput, this, [this, process] {
        logOutput(process);
    });
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
        [this, process](int exitCode, QProcess::ExitStatus status) {
            onFinished(process, exitCode, status);
        });
    return process;
}

void ProcessQueue::onStarted(const Run& run, QProcess* process)
{
    const QString name = run.name;
    const qint64 pid = process->processId();
    process->setProperty(pidProperty, pid);
    running.insert(name, process);
    note(run.user, QStringLiteral("Started %1 with PID %2").arg(name).arg(pid));
    emit started(name, run.user);
    if (name != openVpnName) {
        // A tool that hangs must not hold up the next run of its kind for ever.
        QTimer::singleShot(toolLimit, process, [process, name] {
            tagged(qWarning(), tag) << "The " << name << " run takes too long, killing it";
            signalGroup(process, true);
        });
    }
    if (run.report) {
        // Where the client finds OpenVPN's management interface, just before the run's own line.
        if (run.launch && !run.launch->managementSocket().isEmpty()) {
            emit statusLine(ServiceProtocol::managementLine(run.launch->managementSocket()), run.user);
        }
        emit statusLine(ServiceProtocol::startedLine(pid, StartedOk, name), run.user);
    }
    if (run.settled) {
        run.settled();
    }
}

void ProcessQueue::onFinished(QProcess* process, int exitCode, QProcess::ExitStatus status)
{
    logOutput(process);
    const QString name = process->property(nameProperty).toString();
    const qint64 pid = process->property(pidProperty).toLongLong();
    // A program ended by a signal must not look like a clean exit.
    quint32 code = static_cast<quint32>(exitCode);
    if (status == QProcess::CrashExit && code == 0) {
        code = 1;
    }
    const QString user = process->property(userProperty).toString();
    note(user,
        QStringLiteral("Finished %1 (PID %2) with code %3%4")
            .arg(name)
            .arg(pid)
            .arg(code)
            .arg(status == QProcess::CrashExit ? QStringLiteral(" (crashed or killed)") : QString()));
    if (running.value(name) == process) {
        running.remove(name);
    }
    process->disconnect(this);
    process->deleteLater();
    // Before the client hears of the end (a killed OpenVPN leaves what the runner must clear first).
    emit finished(name);
    if (process->property(reportProperty).toBool()) {
        emit statusLine(ServiceProtocol::finishedLine(pid, code, name), user);
    }
    if (auto* callback = static_cast<EndedCallback*>(process->property(endedProperty).value<void*>())) {
        callback->call(status == QProcess::NormalExit && exitCode == 0);
    }
    startWaiting(name);
}

void ProcessQueue::logOutput(QProcess* process)
{
    const QString name = process->property(nameProperty).toString();
    while (process->canReadLine()) {
        const QString line = QString::fromLocal8Bit(process->readLine()).trimmed();
        if (!line.isEmpty()) {
            note(process->property(userProperty).toString(),
                QStringLiteral("%1> %2").arg(name, ServiceLog::printable(line)));
        }
    }
    // A program that never ends its line must not grow the buffer without bound.
    if (process->bytesAvailable() > 64 * 1024) {
        process->readAll();
    }
}

void ProcessQueue::signalGroup(QProcess* process, bool kill)
{
    if (ServiceProcess::signalGroup(process->processId(), kill)) {
        return;
    }
    // Windows: TerminateProcess for a kill. A graceful end of a console OpenVPN needs its exit
    // event (started with "--service EVENT"); the client normally stops it through the
    // management interface instead, which works on both systems.
    if (kill) {
        process->kill();
    } else {
        process->terminate();
    }
}
