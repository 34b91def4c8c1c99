#include "connectionstatus.h"

#include "connection/vpncore.h"
#include "servers/serverlistmodel.h"
#include "ui/productname.h"

ConnectionStatus::ConnectionStatus(VpnCore* core, ServerListModel* model, QObject* parent)
    : QObject(parent)
    , core(core)
    , model(model)
{
    setObjectName(QStringLiteral("ConnectionStatus"));
    connect(core, &VpnCore::vpnConnectedChanged, this, &ConnectionStatus::update);
    connect(core, &VpnCore::vpnConnectionInProgressChanged, this, &ConnectionStatus::update);
    connect(core, &VpnCore::vpnDisconnectionInProgressChanged, this, &ConnectionStatus::update);
    connect(core, &VpnCore::networkLockEngagedChanged, this, &ConnectionStatus::update);
    connect(core, &VpnCore::failureChanged, this, &ConnectionStatus::update);
    connect(core, &VpnCore::vpnConnectionErrorTextChanged, this, &ConnectionStatus::update);
    connect(core, &VpnCore::tunAvailableChanged, this, [this] {
        setTunnelPossible(this->core->tunAvailable());
    });
    connect(model, &ServerListModel::unavailableChanged, this, &ConnectionStatus::update);
    connect(core, &VpnCore::trafficBlockedByLockdownChanged, this, &ConnectionStatus::setLockdownBlocking);
    connect(core, &VpnCore::lockdownHolderChanged, this, &ConnectionStatus::update);
    lockdownBlocking = core->trafficBlockedByLockdown();
    announced = snapshot();
}

ConnectionStatus::State ConnectionStatus::state() const
{
    if (core->vpnDisconnectionInProgress()) {
        return Disconnecting;
    }
    if (core->vpnConnected()) {
        return Connected;
    }
    if (core->vpnConnectionInProgress()) {
        return Connecting;
    }
    return core->networkLockEngaged() || lockdownBlocking ? Blocked : Disconnected;
}

QString ConnectionStatus::stateText() const
{
    switch (state()) {
    case Connecting:
        return tr("Connecting");
    case Connected:
        return tr("Connected");
    case Disconnecting:
        return tr("Disconnecting");
    case Blocked:
        return tr("Blocked");
    case Disconnected:
        break;
    }
    return tr("Disconnected");
}

bool ConnectionStatus::switchedOn() const
{
    const State now = state();
    return now == Connected || now == Connecting || (now == Blocked && core->networkLockEngaged());
}

bool ConnectionStatus::canConnect() const
{
    return serviceRunning && tunnelPossible;
}

QList<ConnectionStatus::Problem> ConnectionStatus::problems() const
{
    QList<Problem> list;
    if (!serviceRunning) {
        list << ServiceNotRunning;
    }
    if (!tunnelPossible) {
        list << NoTunnelDevice;
    }
    const bool lockHolds = core->networkLockEngaged() && !core->vpnConnected();
    switch (core->failure()) {
    case VpnCore::InstallationBroken:
        list << InstallationBroken;
        break;
    case VpnCore::AccountMissing:
        list << AccountMissing;
        break;
    case VpnCore::AccountRejected:
        list << AccountRejected;
        break;
    case VpnCore::ServerSilent:
        list << ServerSilent;
        break;
    case VpnCore::ConnectionFailed:
        list << ConnectionFailed;
        break;
    case VpnCore::ConnectionLost:
        // The lock's own words say as much.
        if (!lockHolds) {
            list << ConnectionLost;
        }
        break;
    case VpnCore::NoFailure:
        break;
    }
    if (lockHolds) {
        list << BlockedByLock;
    } else if (lockdownBlocking && !core->vpnConnected()) {
        list << BlockedByLockdown;
    }
    if (model->unavailable()) {
        list << ProviderUnreachable;
    }
    return list;
}

QString ConnectionStatus::problemSentence(Problem problem) const
{
    switch (problem) {
    case ServiceNotRunning:
        return tr("The %1 service (vpn-service) is not running, so no VPN connection can be made. "
                  "Start it, or reinstall %1; it is found again by itself.")
            .arg(ProductName::title());
    case NoTunnelDevice: {
        const QString why = core->tunUnavailableText();
        return (why.isEmpty() ? tr("No tunnel can be made on this computer: no TUN/TAP device is available") : why)
            + QStringLiteral(". ")
            + tr("Load the TUN/TAP driver or ask your administrator, then restart the %1 service.")
                  .arg(ProductName::title());
    }
    case InstallationBroken:
        return tr("%1 is not installed completely, so no VPN connection is made: %2 missing or cannot be run. "
                  "Reinstall %1, or ask your administrator.")
            .arg(ProductName::title(), core->brokenInstallation().join(QStringLiteral(", ")));
    case AccountMissing:
        return tr("No user name or password is stored. Enter your account in Settings.");
    case AccountRejected:
        return tr("The VPN provider refused your user name or password. Correct them in Settings.");
    case ServerSilent:
        return tr("The VPN server did not answer. Try again, or choose another server location.");
    case ConnectionFailed:
        return tr("The VPN connection failed: %1. Try again, or choose another server location.")
            .arg(core->vpnConnectionErrorText());
    case ConnectionLost:
        return tr("The VPN connection was lost. Switch on to connect again.");
    case BlockedByLock:
        return core->vpnConnectionInProgress()
            ? tr("The network lock blocks all Internet traffic until the VPN connection is back.")
            : tr("The network lock blocks all Internet traffic because the VPN connection is down. "
                 "Reconnect, or switch off to lift the lock.");
    case BlockedByLockdown:
        // Another user's lockdown: this user cannot lift it, and learns whose it is.
        return core->lockdownHolder().isEmpty()
            ? tr("The network lock stays on while the VPN is off and blocks all Internet traffic. "
                 "Switch on to connect, or turn it off in Settings.")
            : tr("Lockdown, turned on by the user %1, blocks all Internet traffic while the VPN is off. "
                 "Switch on to connect; only %1 or an administrator can turn it off.")
                  .arg(core->lockdownHolder());
    case ProviderUnreachable:
        return tr("The VPN provider cannot be reached, so the server list is missing. "
                  "Check your Internet connection; %1 keeps trying.")
            .arg(ProductName::title());
    case NoProblem:
        break;
    }
    return QString();
}

QString ConnectionStatus::lockdownHolderText() const
{
    const QString holder = core->lockdownHolder();
    return holder.isEmpty() ? QString() : lockdownHolderSentence(holder);
}

QString ConnectionStatus::lockdownHolderSentence(const QString& holder)
{
    return tr("Lockdown was turned on by the user %1: only %1 or an administrator can turn it off.").arg(holder);
}

QString ConnectionStatus::causeText() const
{
    for (const Problem each : problems()) {
        if (each >= InstallationBroken && each <= ConnectionLost) {
            return problemSentence(each);
        }
    }
    return tr("The VPN connection was lost.");
}

ConnectionStatus::Problem ConnectionStatus::problem() const
{
    const QList<Problem> list = problems();
    return list.isEmpty() ? NoProblem : list.first();
}

QString ConnectionStatus::problemText() const
{
    QStringList sentences;
    for (const Problem each : problems()) {
        sentences << problemSentence(each);
    }
    return sentences.join(QLatin1Char('\n'));
}

ConnectionStatus::Action ConnectionStatus::action() const
{
    switch (problem()) {
    case AccountMissing:
    case AccountRejected:
        return OpenSettings;
    case BlockedByLockdown:
        return core->lockdownHolder().isEmpty() ? OpenSettings : NoAction;
    case BlockedByLock:
        return core->vpnConnectionInProgress() ? NoAction : Reconnect;
    default:
        return NoAction;
    }
}

QString ConnectionStatus::actionText() const
{
    switch (action()) {
    case OpenSettings:
        return tr("Open Settings");
    case Reconnect:
        return tr("Reconnect");
    case NoAction:
        break;
    }
    return QString();
}

void ConnectionStatus::act()
{
    switch (action()) {
    case OpenSettings:
        emit settingsRequested();
        break;
    case Reconnect:
        core->connectToVpn();
        break;
    case NoAction:
        break;
    }
}

QString ConnectionStatus::press()
{
    if (core->vpnDisconnectionInProgress()) {
        return tr("Disconnection in progress...");
    }
    if (!switchedOn()) {
        if (!canConnect()) {
            return problemText();
        }
        // Without a server there is nothing to connect to; say why there is none.
        if (model->serverIp().isEmpty()) {
            if (model->isEmpty()) {
                return tr("Choose a server location first");
            }
            return model->unavailable() ? tr("The server list cannot be loaded. Trying again...")
                                        : tr("The server list is loading...");
        }
    }
    // A lock that blocks without a tunnel is switched off here, which lifts it; the tray's entry
    // offers a connect there instead.
    if (state() == Blocked && switchedOn()) {
        core->disconnectFromVpn();
    } else {
        core->toggleConnection();
    }
    return QString();
}

void ConnectionStatus::setServiceRunning(bool running)
{
    serviceRunning = running;
    update();
}

void ConnectionStatus::setTunnelPossible(bool possible)
{
    tunnelPossible = possible;
    update();
}

void ConnectionStatus::setLockdownBlocking(bool blocking)
{
    lockdownBlocking = blocking;
    update();
}

QString ConnectionStatus::snapshot() const
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
        .arg(state())
        .arg(action())
        .arg(switchedOn())
        .arg(canConnect())
        .arg(problemText(), causeText(), lockdownHolderText());
}

void ConnectionStatus::update()
{
    // Flags that change together arrive one by one; the window hears of each real change.
    const QString now = snapshot();
    if (now != announced) {
        announced = now;
        emit changed();
    }
}
