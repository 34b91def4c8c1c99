#include "programrunner.h"

#include "foundation/logtag.h"
#include "openvpnlaunch.h"
#include "servicelog.h"
#include "toolsupport.h"
#include "tunneladapters.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <csignal>
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

// Each program leads a process group of its own, so that stop and kill reach whatever it
// started (a launcher script and the OpenVPN it runs, an OpenVPN script hook).
class ProgramProcess : public QProcess
{
public:
    using QProcess::QProcess;

    // Lives as long as the run: its private configuration goes when the process object goes.
    std::unique_ptr<OpenVpnLaunch> launch;
    // Becomes the child's standard output and error (Windows: STARTUPINFO's handles instead).
    int outputFd = -1;

protected:
    void setupChildProcess() override
    {
#ifdef Q_OS_UNIX
        if (outputFd >= 0) {
            ::dup2(outputFd, STDOUT_FILENO);
            ::dup2(outputFd, STDERR_FILENO);
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

} // namespace

ProgramRunner::ProgramRunner(const ProgramCatalog& programCatalog, QObject* parent)
    : QObject(parent)
    , catalog(programCatalog)
{
    setObjectName(tag);
}

ProgramRunner::~ProgramRunner()
{
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
    }
}

void ProgramRunner::start(const QStringList& arguments, bool report, qint64 peerUid)
{
    const QString requested = arguments.value(0);
    const ProgramCatalog::Resolution program = catalog.resolve(requested);
    if (program.executable.isEmpty()) {
        tagged(qWarning(), tag) << "Refused to run " << ServiceLog::printable(requested) << ": " << program.error;
        // Only a name of the catalog goes back to the client, never text it sent.
        if (report && !program.name.isEmpty()) {
            const int code = program.missing ? FailedToStart : Refused;
            emit statusLine(QStringLiteral("started:0,%1,%2").arg(code).arg(program.name));
        }
        return;
    }
    if (program.name == QLatin1String("killswitch") && report) {
        QString error;
        const QStringList toolArguments = clientKillSwitchArguments(arguments.mid(1), &error);
        if (!error.isEmpty()) {
            tagged(qWarning(), tag) << "Refused to run killswitch: " << error;
            emit statusLine(QStringLiteral("started:0,%1,killswitch").arg(Refused));
            return;
        }
        run(program.name, program.executable, toolArguments, report, nullptr);
        return;
    }
    if (program.name != QLatin1String("openvpn")) {
        run(program.name, program.executable, arguments.mid(1), report, nullptr);
        return;
    }
    QString error;
    std::unique_ptr<OpenVpnLaunch> launch = OpenVpnLaunch::prepare(arguments.mid(1), peerUid, &error);
    if (!launch) {
        tagged(qWarning(), tag) << "Refused to run openvpn: " << error;
        if (report) {
            emit statusLine(QStringLiteral("started:0,%1,openvpn").arg(Refused));
        }
        return;
    }
    const QStringList openVpnArguments = launch->arguments();
    run(program.name, program.executable, openVpnArguments, report, std::move(launch));
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

void ProgramRunner::run(const QString& name, const QString& executable, const QStringList& arguments, bool report,
    std::unique_ptr<OpenVpnLaunch> launch)
{
    waitForPrevious(name);

    auto* process = new ProgramProcess(this);
    process->setProgram(executable);
    process->setArguments(arguments);
    process->setWorkingDirectory(QFileInfo(executable).absolutePath());
    if (launch) {
        // OpenVPN writes its log to standard output when it has no log option: into the user's
        // log file, through the descriptor the service opened.
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        process->outputFd = launch->outputDescriptor();
        process->launch = std::move(launch);
    } else {
        process->setProcessChannelMode(QProcess::MergedChannels);
    }
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProperty(nameProperty, name);
    process->setProperty(reportProperty, report);
    connect(process, &QProcess::readyReadStandardOutput, this, [this, process] {
        logOutput(process);
    });
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
        [this, process](int exitCode, QProcess::ExitStatus status) {
            onFinished(process, exitCode, status);
        });

    tagged(qInfo(), tag) << "Start " << name << ": " << executable << " "
                         << ServiceLog::printable(arguments.join(QLatin1Char(' ')), 2000);
    process->start();
    const bool started = process->waitForStarted(startTimeout);
    if (process->launch) {
        process->launch->closeOutput();
        process->outputFd = -1;
    }
    if (!started) {
        tagged(qWarning(), tag) << "Could not start " << name << ": " << process->errorString();
        process->disconnect(this);
        process->deleteLater();
        if (report) {
            emit statusLine(QStringLiteral("started:0,%1,%2").arg(FailedToStart).arg(name));
        }
        return;
    }
    const qint64 pid = process->processId();
    process->setProperty(pidProperty, pid);
    running.insert(name, process);
    if (process->launch && !tunnelMarker.isEmpty()) {
        QFile marker(tunnelMarker);
        if (!marker.open(QIODevice::WriteOnly)) {
            tagged(qWarning(), tag) << "Cannot write " << tunnelMarker;
        }
    }
    tagged(qInfo(), tag) << "Started " << name << " with PID " << pid;
    if (report) {
        emit statusLine(QStringLiteral("started:%1,%2,%3").arg(pid).arg(StartedOk).arg(name));
    }
}

void ProgramRunner::waitForPrevious(const QString& name)
{
    QProcess* previous = running.value(name);
    if (previous == nullptr) {
        return;
    }
    const bool openVpn = name == QLatin1String("openvpn");
    tagged(qInfo(), tag) << "Waiting for the previous " << name << " to end";
    // Two OpenVPNs would fight over the adapter and the management port.
    if (openVpn) {
        signalGroup(previous, false);
    }
    // waitForFinished delivers finished(), which reports the end and forgets the process.
    if (!previous->waitForFinished(openVpn ? openVpnGrace : toolLimit)) {
        tagged(qWarning(), tag) << "The previous " << name << " does not end, killing it";
        signalGroup(previous, true);
        previous->waitForFinished(killWait);
    }
}

void ProgramRunner::stopOpenVpn()
{
    QProcess* process = running.value(QStringLiteral("openvpn"));
    if (process == nullptr) {
        tagged(qInfo(), tag) << "No OpenVPN to stop";
        return;
    }
    tagged(qInfo(), tag) << "Stop OpenVPN";
    signalGroup(process, false);
}

void ProgramRunner::killOpenVpn()
{
    QProcess* process = running.value(QStringLiteral("openvpn"));
    if (process == nullptr) {
        tagged(qInfo(), tag) << "No OpenVPN to kill";
        return;
    }
    tagged(qInfo(), tag) << "Kill OpenVPN";
    signalGroup(process, true);
}

void ProgramRunner::resetForNewClient()
{
    if (QProcess* process = running.value(QStringLiteral("openvpn"))) {
        // It belongs to an earlier client: its end is no news for the new one, whose own
        // OpenVPN process would take it for its own.
        tagged(qInfo(), tag) << "Ending the OpenVPN of an earlier client";
        process->setProperty(reportProperty, false);
        waitForPrevious(QStringLiteral("openvpn"));
    }
    tagged(qInfo(), tag) << "Lifting a network lock left engaged";
    runToEnd(QStringLiteral("killswitch"), { QStringLiteral("disable"), QStringLiteral("lock") });
    liftTunnelGuard();
    // The resolver file keeps the user's own copy while a tunnel's servers are in it.
    tagged(qInfo(), tag) << "Restoring the user's resolvers";
    runToEnd(QStringLiteral("dns"), { QStringLiteral("user") });
    // Also what an OpenVPN of an earlier service instance left.
    TunnelAdapters::clearFreeAdapters();
}

void ProgramRunner::liftTunnelGuard()
{
    runToEnd(QStringLiteral("killswitch"), { QStringLiteral("disable"), QStringLiteral("tunnel") });
    if (!tunnelMarker.isEmpty()) {
        QFile::remove(tunnelMarker);
    }
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

bool ProgramRunner::runToEnd(const QString& name, const QStringList& arguments)
{
    const QString path = catalog.pathOf(name);
    if (!QFileInfo::exists(path)) {
        tagged(qWarning(), tag) << "No " << name << " to run";
        return false;
    }
    start(QStringList { path } + arguments, false);
    // The client's first requests wait for this: they must not meet the lock they come to lift.
    QProcess* process = running.value(name);
    if (process == nullptr) {
        return false;
    }
    if (!process->waitForFinished(toolLimit)) {
        tagged(qWarning(), tag) << name << " does not end, killing it";
        signalGroup(process, true);
        process->waitForFinished(killWait);
    }
    return process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
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
    tagged(qInfo(), tag) << "Finished " << name << " (PID " << pid << ") with code " << code
                         << (status == QProcess::CrashExit ? " (crashed or killed)" : "");
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
        emit statusLine(QStringLiteral("finished:%1,%2,%3").arg(pid).arg(code).arg(name));
    }
}

void ProgramRunner::logOutput(QProcess* process)
{
    const QString name = process->property(nameProperty).toString();
    while (process->canReadLine()) {
        const QString line = QString::fromLocal8Bit(process->readLine()).trimmed();
        if (!line.isEmpty()) {
            tagged(qInfo(), tag) << name << "> " << ServiceLog::printable(line);
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
