#include "programrunner.h"

#include "foundation/logtag.h"
#include "openvpnlaunch.h"
#include "protocol/serviceprotocol.h"
#include "servicelog.h"
#include "statefolder.h"
#include "toolsupport.h"
#include "tunneladapters.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <mutex>
#include <thread>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {

const QString tag = QStringLiteral("ProgramRunner");
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
class ProgramRunner::Process : public QProcess
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
#ifdef Q_OS_UNIX
        if (outputFd >= 0) {
            ::dup2(outputFd, STDOUT_FILENO);
            ::dup2(outputFd, STDERR_FILENO);
            // What OpenVPN adds to the user's log is capped (it writes no other file): beyond the cap
            // its writes fail, and it runs on.
            struct stat info = {};
            if (::fstat(outputFd, &info) == 0) {
                const rlim_t cap = rlim_t(info.st_size) + rlim_t(OpenVpnLaunch::maxLogGrowth);
                const rlimit limit = { cap, cap };
                ::setrlimit(RLIMIT_FSIZE, &limit);
                ::signal(SIGXFSZ, SIG_IGN);
            }
        }
#endif
#ifdef Q_OS_LINUX
        // Nobody could stop it once the service is gone: a new service instance does not know
        // it, and the client sends "init: connection" only once.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
#ifdef Q_OS_UNIX
        ::setpgid(0, 0);
        // The service ignores SIGPIPE; an ignored signal would stay ignored across exec.
        ::signal(SIGPIPE, SIG_DFL);
#endif
    }
};

// One reading of a user's files for an OpenVPN run, on a thread of its own: a file system the
// user controls (or a file it holds a lease on) may keep it waiting, never the service.
struct ProgramRunner::Preparation
{
    std::mutex lock;
    bool done = false;
    bool abandoned = false;
    std::unique_ptr<OpenVpnLaunch> launch;
    QString error;
    // The thread writes a byte when it is done; the event loop watches the other end.
    int wake[2] = { -1, -1 };

    ~Preparation()
    {
#ifdef Q_OS_UNIX
        for (const int fd : wake) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
#endif
    }
};

ProgramRunner::ProgramRunner(const ProgramCatalog& programCatalog, UserLog* userLog, QObject* parent)
    : QObject(parent)
    , catalog(programCatalog)
    , log(userLog)
{
    setObjectName(tag);
}

void ProgramRunner::note(const QString& user, const QString& text, bool warning)
{
    log->write(warning ? QtWarningMsg : QtInfoMsg, tag, user, text);
}

ProgramRunner::~ProgramRunner()
{
    // A reading still under way uses what the process tears down after this: it is let finish
    // (within its deadline; one that hangs on a file system is left, it touches nothing meanwhile).
    QElapsedTimer waited;
    waited.start();
    for (const std::shared_ptr<Preparation>& preparation : qAsConst(preparing)) {
        for (;;) {
            {
                const std::lock_guard<std::mutex> guard(preparation->lock);
                if (preparation->done) {
                    break;
                }
            }
            if (waited.elapsed() > fileDeadlineMs) {
                break;
            }
            QThread::msleep(5);
        }
    }
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
    if (running.contains(QStringLiteral("openvpn"))) {
        TunnelAdapters::clearFreeAdapters();
        // Nothing else runs any more: no start of the tool can overtake this one.
        const QString killSwitch = catalog.pathOf(QStringLiteral("killswitch"));
        if (QFileInfo::exists(killSwitch)) {
            ToolSupport::run(killSwitch, { QStringLiteral("disable"), QStringLiteral("tunnel") });
        }
        QFile::remove(tunnelMarker);
    }
}

void ProgramRunner::start(const QStringList& arguments, bool report, qint64 peerUid, const QString& user,
    const std::function<void()>& settled, const std::function<void(bool)>& ended)
{
    const QString requested = arguments.value(0);
    const ProgramCatalog::Resolution program = catalog.resolve(requested);
    Run run { program.name, program.executable, arguments.mid(1), report, user, nullptr, settled, ended };
    QString refusal;
    if (program.name == QLatin1String("killswitch") && report) {
        run.arguments = clientKillSwitchArguments(run.arguments, &refusal);
    }
    if (!refusal.isEmpty()) {
        note(user, QStringLiteral("Refused to run killswitch: %1").arg(refusal), true);
        refuse(run, Refused);
    } else if (program.executable.isEmpty()) {
        note(user, QStringLiteral("Refused to run %1: %2").arg(ServiceLog::printable(requested), program.error), true);
        // Only a name of the catalog goes back to the client, never text it sent.
        refuse(run, program.missing ? FailedToStart : Refused);
    } else if (program.name != QLatin1String("openvpn")) {
        enqueue(run);
    } else {
        prepareOpenVpn(run, peerUid);
    }
}

void ProgramRunner::prepareOpenVpn(const Run& run, qint64 peerUid)
{
    const auto refused = [&](const QString& reason) {
        note(run.user, QStringLiteral("Refused to run openvpn: %1").arg(reason), true);
        refuse(run, Refused);
    };
    if (const std::shared_ptr<Preparation> earlier = preparing.value(peerUid)) {
        const std::lock_guard<std::mutex> guard(earlier->lock);
        if (!earlier->done) {
            refused(QStringLiteral("an earlier reading of the files of uid %1 has not ended").arg(peerUid));
            return;
        }
        preparing.remove(peerUid);
    }
    if (preparing.size() >= maxPreparing) {
        refused(QStringLiteral("%1 readings of user files under way").arg(preparing.size()));
        return;
    }
    auto preparation = std::make_shared<Preparation>();
#ifdef Q_OS_LINUX
    if (::pipe2(preparation->wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        refused(QStringLiteral("no pipe"));
        return;
    }
#endif
    preparing.insert(peerUid, preparation);
    std::thread([preparation, arguments = run.arguments, peerUid] {
        QString error;
        std::unique_ptr<OpenVpnLaunch> launch = OpenVpnLaunch::prepare(arguments, peerUid, &error);
        const std::lock_guard<std::mutex> guard(preparation->lock);
        preparation->launch = std::move(launch);
        preparation->error = error;
        preparation->done = true;
#ifdef Q_OS_UNIX
        const char byte = 1;
        (void)!::write(preparation->wake[1], &byte, 1);
#endif
    }).detach();

    auto* watch = new QObject(this);
    auto* notifier = new QSocketNotifier(preparation->wake[0], QSocketNotifier::Read, watch);
    auto* deadline = new QTimer(watch);
    deadline->setSingleShot(true);
    auto handled = std::make_shared<bool>(false);
    const auto finish = [this, watch, notifier, preparation, run, peerUid, handled] {
        if (*handled) {
            return;
        }
        *handled = true;
        notifier->setEnabled(false);
        watch->deleteLater();
        settlePreparation(run, peerUid, preparation);
    };
    // Whichever comes first; the other is gone with the watch.
    connect(notifier, &QSocketNotifier::activated, watch, [finish, deadline] {
        deadline->stop();
        finish();
    });
    connect(deadline, &QTimer::timeout, watch, finish);
    deadline->start(fileDeadlineMs);
}

QStringList ProgramRunner::clientKillSwitchArguments(const QStringList& arguments, QString* error) const
{
    const QString action = arguments.value(0), what = arguments.value(1);
    // Lockdown is the service's own, changed only through its command; a client's lift is of its
    // own lock, never of lockdown nor of the guard of a running tunnel.
    if (what == QLatin1String("lockdown") || (action == QLatin1String("disable") && what == QLatin1String("tunnel"))) {
        *error = QStringLiteral("not a command of the client's");
        return {};
    }
    if (action == QLatin1String("disable") && what == QLatin1String("all") && arguments.size() == 2) {
        return { action, QStringLiteral("lock") };
    }
    // Guarding a tunnel that is gone would keep a family blocked until the next one ends.
    if (action == QLatin1String("enable") && what == QLatin1String("tunnel")
        && !running.contains(QStringLiteral("openvpn"))) {
        *error = QStringLiteral("no tunnel to guard");
        return {};
    }
    return arguments;
}

void ProgramRunner::refuse(const Run& run, int code)
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

void ProgramRunner::enqueue(Run run)
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
    if (run.name == QLatin1String("openvpn")) {
        endPrevious(previous, true);
    }
}

void ProgramRunner::endPrevious(QProcess* previous, bool openVpn)
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

void ProgramRunner::startWaiting(const QString& name)
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
        endPrevious(running.value(name), name == QLatin1String("openvpn"));
    }
}

void ProgramRunner::settlePreparation(const Run& run, qint64 peerUid, const std::shared_ptr<Preparation>& preparation)
{
    std::unique_ptr<OpenVpnLaunch> launch;
    QString error;
    {
        const std::lock_guard<std::mutex> guard(preparation->lock);
        if (preparation->done) {
            launch = std::move(preparation->launch);
            error = preparation->error;
        } else {
            // The thread goes on alone; its user starts no other reading until it ends.
            preparation->abandoned = true;
            error = QStringLiteral("the files of uid %1 were not read within %2 ms").arg(peerUid).arg(fileDeadlineMs);
        }
        if (preparation->done && preparing.value(peerUid) == preparation) {
            preparing.remove(peerUid);
        }
    }
    if (!launch) {
        note(run.user, QStringLiteral("Refused to run openvpn: %1").arg(error), true);
        refuse(run, Refused);
    } else {
        Run next = run;
        next.arguments = launch->arguments();
        next.launch = std::move(launch);
        enqueue(next);
    }
}

void ProgramRunner::launch(Run run)
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

ProgramRunner::Process* ProgramRunner::makeProcess(const Run& run)
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

void ProgramRunner::onStarted(const Run& run, QProcess* process)
{
    const QString name = run.name;
    const qint64 pid = process->processId();
    process->setProperty(pidProperty, pid);
    running.insert(name, process);
    note(run.user, QStringLiteral("Started %1 with PID %2").arg(name).arg(pid));
    if (name == QLatin1String("openvpn")) {
        QString error;
        if (!tunnelMarker.isEmpty() && !StateFolder::write(tunnelMarker, QByteArray(), &error)) {
            tagged(qWarning(), tag) << ServiceLog::printable(error);
        }
        emit openVpnStarted(run.user);
    } else {
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

void ProgramRunner::stopOpenVpn(const QString& user)
{
    QProcess* process = running.value(QStringLiteral("openvpn"));
    if (process == nullptr) {
        note(user, QStringLiteral("No OpenVPN to stop"));
        return;
    }
    note(user, QStringLiteral("Stop OpenVPN"));
    signalGroup(process, false);
}

void ProgramRunner::killOpenVpn(const QString& user)
{
    QProcess* process = running.value(QStringLiteral("openvpn"));
    if (process == nullptr) {
        note(user, QStringLiteral("No OpenVPN to kill"));
        return;
    }
    note(user, QStringLiteral("Kill OpenVPN"));
    signalGroup(process, true);
}

void ProgramRunner::resetForNewClient(const QString& user, const std::function<void()>& done)
{
    QProcess* openVpn = running.value(QStringLiteral("openvpn"));
    if (openVpn != nullptr) {
        // It belongs to an earlier client: its end is no news for the new one, whose own
        // OpenVPN process would take it for its own.
        note(user, QStringLiteral("Ending the OpenVPN of an earlier client"));
        openVpn->setProperty(reportProperty, false);
        endPrevious(openVpn, true);
    }
    // The runs queue behind the tools' runs under way, in order; done follows the last end.
    auto pending = std::make_shared<int>(3);
    const auto ended = [pending, done](bool) {
        if (--*pending == 0 && done) {
            done();
        }
    };
    note(user, QStringLiteral("Lifting a network lock left engaged"));
    runTool(QStringLiteral("killswitch"), { QStringLiteral("disable"), QStringLiteral("lock") }, ended, user);
    runTool(QStringLiteral("killswitch"), { QStringLiteral("disable"), QStringLiteral("tunnel") }, ended, user);
    // The resolver file keeps the user's own copy while a tunnel's servers are in it.
    note(user, QStringLiteral("Restoring the user's resolvers"));
    runTool(QStringLiteral("dns"), { QStringLiteral("user") }, ended, user);
    // Also what an OpenVPN of an earlier service instance left; a running one's end does it too.
    if (openVpn == nullptr) {
        TunnelAdapters::clearFreeAdapters();
    }
}

void ProgramRunner::runKillSwitch(
    const QStringList& arguments, const std::function<void(bool)>& ended, const QString& user)
{
    runTool(QStringLiteral("killswitch"), arguments, ended, user);
}

void ProgramRunner::runTool(
    const QString& name, const QStringList& arguments, const std::function<void(bool)>& ended, const QString& user)
{
    const QString path = catalog.pathOf(name);
    if (!QFileInfo::exists(path)) {
        if (ended) {
            ended(false);
        }
        return;
    }
    start(QStringList { path } + arguments, false, -1, user, {}, ended);
}

void ProgramRunner::liftTunnelGuard()
{
    runKillSwitch({ QStringLiteral("disable"), QStringLiteral("tunnel") }, [marker = tunnelMarker](bool) {
        if (!marker.isEmpty()) {
            QFile::remove(marker);
        }
    });
}

void ProgramRunner::setTunnelMarker(const QString& path)
{
    tunnelMarker = path;
}

void ProgramRunner::liftLeftTunnelGuard()
{
    if (!tunnelMarker.isEmpty() && QFileInfo::exists(tunnelMarker)) {
        tagged(qInfo(), tag) << "A tunnel was up when the service ended: lifting its guard";
        liftTunnelGuard();
    }
}

void ProgramRunner::onFinished(QProcess* process, int exitCode, QProcess::ExitStatus status)
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
    // Before the client hears of the end: a killed OpenVPN leaves its addresses and routes, and
    // the client's next tunnel must not meet them.
    if (name == QLatin1String("openvpn")) {
        TunnelAdapters::clearFreeAdapters();
        liftTunnelGuard();
    }
    if (process->property(reportProperty).toBool()) {
        emit statusLine(ServiceProtocol::finishedLine(pid, code, name), user);
    }
    if (auto* callback = static_cast<EndedCallback*>(process->property(endedProperty).value<void*>())) {
        callback->call(status == QProcess::NormalExit && exitCode == 0);
    }
    startWaiting(name);
}
void ProgramRunner::logOutput(QProcess* process)
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

void ProgramRunner::signalGroup(QProcess* process, bool kill)
{
#ifdef Q_OS_UNIX
    const qint64 pid = process->processId();
    if (pid > 0) {
        ::kill(static_cast<pid_t>(-pid), kill ? SIGKILL : SIGTERM);
        return;
    }
#endif
    // Windows: TerminateProcess for a kill. A graceful end of a console OpenVPN needs its exit
    // event (started with "--service EVENT"); the client normally stops it through the
    // management interface instead, which works on both systems.
    if (kill) {
        process->kill();
    } else {
        process->terminate();
    }
}
