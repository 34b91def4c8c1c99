#include "programrunner.h"

#include "foundation/logtag.h"
#include "killswitchfilter.h"
#include "openvpnlaunch.h"
#include "openvpnpreparation.h"
#include "protocol/toolwords.h"
#include "servicelog.h"
#include "statefolder.h"
#include "toolsupport.h"
#include "tunneladapters.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QString tag = QStringLiteral("ProgramRunner");
const QString openVpnName = QStringLiteral("openvpn");
const QString killSwitchName = QStringLiteral("killswitch");

} // namespace

ProgramRunner::ProgramRunner(const ProgramCatalog& programCatalog, UserLog* userLog, QObject* parent)
    : QObject(parent)
    , catalog(programCatalog)
    , log(userLog)
    , queue(new ProcessQueue(userLog, this))
    , preparation(new OpenVpnPreparation(this))
{
    setObjectName(tag);
    connect(queue, &ProcessQueue::statusLine, this, &ProgramRunner::statusLine);
    connect(queue, &ProcessQueue::started, this, &ProgramRunner::onStarted);
    connect(queue, &ProcessQueue::finished, this, &ProgramRunner::onFinished);
}

void ProgramRunner::note(const QString& user, const QString& text, bool warning)
{
    log->write(warning ? QtWarningMsg : QtInfoMsg, tag, user, text);
}

ProgramRunner::~ProgramRunner()
{
    preparation->waitForReadings();
    const bool tunnel = queue->isRunning(openVpnName);
    queue->endAll();
    if (tunnel) {
        TunnelAdapters::clearFreeAdapters();
        // Nothing else runs any more: no start of the tool can overtake this one.
        const QString killSwitch = catalog.pathOf(killSwitchName);
        if (QFileInfo::exists(killSwitch)) {
            ToolSupport::run(killSwitch, ToolWords::disableTunnelGuard());
        }
        QFile::remove(tunnelMarker);
    }
}

void ProgramRunner::start(const QStringList& arguments, bool report, qint64 peerUid, const QString& user,
    const std::function<void()>& settled, const std::function<void(bool)>& ended)
{
    const QString requested = arguments.value(0);
    const ProgramCatalog::Resolution program = catalog.resolve(requested);
    ProcessQueue::Run run { program.name, program.executable, arguments.mid(1), report, user, nullptr, settled, ended };
    QString refusal;
    if (program.name == killSwitchName && report) {
        run.arguments = KillSwitchFilter::clientArguments(run.arguments, queue->isRunning(openVpnName), &refusal);
    }
    if (program.name == openVpnName && !program.executable.isEmpty()) {
        refusal = guardRefusal();
    }
    if (!refusal.isEmpty()) {
        note(user, QStringLiteral("Refused to run %1: %2").arg(program.name, refusal), true);
        queue->refuse(run, ProcessQueue::Refused);
    } else if (program.executable.isEmpty()) {
        note(user, QStringLiteral("Refused to run %1: %2").arg(ServiceLog::printable(requested), program.error), true);
        // Only a name of the catalog goes back to the client, never text it sent.
        queue->refuse(run, program.missing ? ProcessQueue::FailedToStart : ProcessQueue::Refused);
    } else if (program.name != openVpnName) {
        queue->enqueue(run);
    } else {
        preparation->prepare(
            run.arguments, peerUid, [this, run](const std::shared_ptr<OpenVpnLaunch>& launch, const QString& error) {
                if (!launch) {
                    note(run.user, QStringLiteral("Refused to run openvpn: %1").arg(error), true);
                    queue->refuse(run, ProcessQueue::Refused);
                    return;
                }
                ProcessQueue::Run next = run;
                next.arguments = launch->arguments();
                next.launch = launch;
                queue->enqueue(next);
            });
    }
}

QString ProgramRunner::guardRefusal() const
{
    // No tunnel comes up without the guard that keeps everything else off the network beside it,
    // and the guard is the kill switch tool's.
    const ProgramCatalog::Resolution guard = catalog.resolve(catalog.pathOf(killSwitchName));
    if (!guard.executable.isEmpty() && QFileInfo(guard.executable).isExecutable()) {
        return QString();
    }
    return QStringLiteral("the tunnel's guard cannot be applied: %1 %2")
        .arg(killSwitchName, guard.executable.isEmpty() ? guard.error : QStringLiteral("not executable"));
}

void ProgramRunner::onStarted(const QString& name, const QString& user)
{
    if (name != openVpnName) {
        return;
    }
    QString error;
    if (!tunnelMarker.isEmpty() && !StateFolder::write(tunnelMarker, QByteArray(), &error)) {
        tagged(qWarning(), tag) << ServiceLog::printable(error);
    }
    emit openVpnStarted(user);
}

void ProgramRunner::onFinished(const QString& name)
{
    // Before the client hears of the end: a killed OpenVPN leaves its addresses and routes, and
    // the client's next tunnel must not meet them.
    if (name == openVpnName) {
        TunnelAdapters::clearFreeAdapters();
        liftTunnelGuard();
        emit openVpnEnded();
    }
}

void ProgramRunner::stopOpenVpn(const QString& user)
{
    if (!queue->isRunning(openVpnName)) {
        note(user, QStringLiteral("No OpenVPN to stop"));
        return;
    }
    note(user, QStringLiteral("Stop OpenVPN"));
    queue->signal(openVpnName, false);
}

void ProgramRunner::killOpenVpn(const QString& user)
{
    if (!queue->isRunning(openVpnName)) {
        note(user, QStringLiteral("No OpenVPN to kill"));
        return;
    }
    note(user, QStringLiteral("Kill OpenVPN"));
    queue->signal(openVpnName, true);
}

void ProgramRunner::resetForNewClient(const QString& user, const std::function<void()>& done)
{
    const bool openVpn = queue->isRunning(openVpnName);
    if (openVpn) {
        // It belongs to an earlier client: its end is no news for the new one, whose own
        // OpenVPN process would take it for its own.
        note(user, QStringLiteral("Ending the OpenVPN of an earlier client"));
        queue->endUnreported(openVpnName);
    }
    // The runs queue behind the tools' runs under way, in order; done follows the last end.
    auto pending = std::make_shared<int>(3);
    const auto ended = [pending, done](bool) {
        if (--*pending == 0 && done) {
            done();
        }
    };
    note(user, QStringLiteral("Lifting a network lock left engaged"));
    runTool(killSwitchName, ToolWords::disableLock(), ended, user);
    runTool(killSwitchName, ToolWords::disableTunnelGuard(), ended, user);
    // The resolver file keeps the user's own copy while a tunnel's servers are in it.
    note(user, QStringLiteral("Restoring the user's resolvers"));
    runTool(QStringLiteral("dns"), ToolWords::dnsUser(), ended, user);
    // Also what an OpenVPN of an earlier service instance left; a running one's end does it too.
    if (!openVpn) {
        TunnelAdapters::clearFreeAdapters();
    }
}

void ProgramRunner::runKillSwitch(
    const QStringList& arguments, const std::function<void(bool)>& ended, const QString& user)
{
    runTool(killSwitchName, arguments, ended, user);
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
    runKillSwitch(ToolWords::disableTunnelGuard(), [marker = tunnelMarker](bool) {
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
