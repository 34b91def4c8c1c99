#include "lockdownkeeper.h"

#include "foundation/logtag.h"
#include "programrunner.h"
#include "protocol/serviceprotocol.h"
#include "servicelog.h"

#include <QFileInfo>

namespace {

// Its lines are the service's in the log.
const QString tag = QStringLiteral("VpnService");

} // namespace

LockdownKeeper::LockdownKeeper(const QString& folder, ProgramRunner* programRunner, UserLog* activityLog)
    : mode(folder)
    , runner(programRunner)
    , activity(activityLog)
{ }

QString LockdownKeeper::stateFolder() const
{
    return QFileInfo(mode.filePath()).path();
}

void LockdownKeeper::restore()
{
    QString problem;
    state = mode.load(&problem);
    if (!problem.isEmpty()) {
        tagged(qCritical(), tag) << "Lockdown state: " << ServiceLog::printable(problem) << "; lockdown stays on";
    }
    if (state.on) {
        apply();
    }
}

void LockdownKeeper::change(
    const LockdownMode::State& next, const QString& user, const QString& who, const std::function<void()>& done)
{
    QString error;
    if (!mode.save(next, &error)) {
        // Held for this run all the same; the next start reads the previous state.
        tagged(qCritical(), tag) << "Cannot keep the lockdown state: " << ServiceLog::printable(error);
    }
    const bool changed = next.on != state.on;
    state = next;
    activity->info(user,
        QStringLiteral("Lockdown %1, %2 %3: %4 VPN server address(es), local network %5")
            .arg(next.on ? QStringLiteral("on") : QStringLiteral("off"),
                changed ? QStringLiteral("turned so by") : QStringLiteral("kept by"), who)
            .arg(next.servers.size())
            .arg(next.allowLocal ? QStringLiteral("allowed") : QStringLiteral("blocked")));
    apply(done);
}

void LockdownKeeper::apply(const std::function<void()>& done)
{
    if (state.on) {
        const QString api = LockdownMode::apiAddress();
        tagged(qInfo(), tag) << "Lockdown lets through " << state.servers.size()
                             << " VPN server address(es), the API at "
                             << (api.isEmpty() ? QStringLiteral("(a name, not let through)") : api)
                             << ", DHCP, neighbour discovery, the tunnels"
                             << (state.allowLocal ? " and the local network" : "");
    }
    runner->runKillSwitch(LockdownMode::toolArguments(state), [done](bool ok) {
        if (!ok) {
            tagged(qCritical(), tag) << "The kill switch tool did not put lockdown in place";
        }
        if (done) {
            done();
        }
    });
}

QString LockdownKeeper::line() const
{
    return ServiceProtocol::lockdownLine(state.on);
}
