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
    if (state.on && state.holder.isEmpty()) {
        // Nothing says who turned it on: root's, then.
        state.holder = PeerUser::rootId();
        state.holderName = QStringLiteral("root");
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
    apply(user, done);
}

void LockdownKeeper::apply(const QString& user, const std::function<void()>& done)
{
    if (state.on) {
        const QString api = LockdownMode::apiAddress();
        activity->info(user,
            QStringLiteral("Lockdown lets through %1 VPN server address(es), the API at %2, DHCP, neighbour "
                           "discovery, the tunnels%3")
                .arg(state.servers.size())
                .arg(api.isEmpty() ? QStringLiteral("(a name, not let through)") : api,
                    state.allowLocal ? QStringLiteral(" and the local network") : QString()));
    }
    runner->runKillSwitch(
        LockdownMode::toolArguments(state),
        [done](bool ok) {
            if (!ok) {
                tagged(qCritical(), tag) << "The kill switch tool did not put lockdown in place";
            }
            if (done) {
                done();
            }
        },
        user);
}

bool LockdownKeeper::mayChange(const PeerUser& user) const
{
    return !state.on || user.isRoot() || user.id == state.holder;
}

QString LockdownKeeper::holder() const
{
    return QStringLiteral("%1 (%2)").arg(state.holder, state.holderName);
}

QString LockdownKeeper::line(const PeerUser& user) const
{
    // A user who cannot lift it learns whose it is.
    const bool theirs = user.isRoot() || user.id == state.holder;
    return ServiceProtocol::lockdownLine(state.on, theirs ? QString() : state.holderName);
}
