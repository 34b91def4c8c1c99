#include "vpncore.h"

#include "foundation/logger.h"
#include "foundation/logtag.h"
#include "foundation/utils.h"
#include "protocol/toolwords.h"
#include "servers/networkapi.h"
#include "service/servicecontroller.h"
#include "settings/settings.h"

#include <utility>

VpnCore::VpnCore(QObject* parent)
    : QObject(parent)
    , dnsToolProcess(QStringLiteral("dns"))
    , settings(Settings::instance())
    , tunnelCapability(ServiceController::instance())
{
    qRegisterMetaType<VpnCore::VpnError>("VpnCore::VpnError");
    // By name, for the tunnel's reports played from QML.
    qRegisterMetaType<VpnClient::State>("VpnClient::State");
    qRegisterMetaType<VpnClient::Failure>("VpnClient::Failure");
    setObjectName(QStringLiteral("VpnCore"));

    reconnectionTimer.setSingleShot(true);
    reconnectionTimer.setInterval(reconnectionDelay);
    connect(&reconnectionTimer, &QTimer::timeout, this, &VpnCore::reconnect);
    connect(&vpnClient, &VpnClient::stateChanged, this, &VpnCore::onVpnConnectionStateChanged);
    connect(&vpnClient, &VpnClient::byteCountChanged, this, &VpnCore::onByteCountChanged);
    connect(&vpnClient, &VpnClient::assignedInternalIp, this, &VpnCore::onAssignedInternalIp);
    connect(&vpnClient, &VpnClient::dnsServerAddressesPushed, this, &VpnCore::onDnsServerAddressesPushed);
    connect(&vpnClient, &VpnClient::processFinished, this, &VpnCore::onOpenVpnProcessFinished);
    connect(&vpnClient, &VpnClient::failed, this, &VpnCore::onTunnelFailed);
    // New credentials may be the right ones: a refusal of the old ones no longer holds.
    const auto credentialsChanged = [this] {
        if (failureValue == AccountMissing || failureValue == AccountRejected) {
            setFailure(NoFailure);
        }
    };
    connect(settings, &Settings::userNameChanged, this, credentialsChanged);
    connect(settings, &Settings::passwordChanged, this, credentialsChanged);
    autoReconnection = settings->autoReconnectToVpn();
    connect(settings, &Settings::autoReconnectToVpnChanged, this, [this](bool on) {
        autoReconnection = on;
    });
    connect(&killSwitch, &KillSwitch::killSwitchFinished, this, &VpnCore::onKillSwitchFinished);
    connect(&killSwitch, &KillSwitch::protectionChanged, this, &VpnCore::networkLockEngagedChanged);
    connect(&killSwitch, &KillSwitch::failed, this, &VpnCore::onLockFailed);
    connect(&dnsManager, &DnsManager::refreshed, this, &VpnCore::onUserDnsRefreshed);
    connect(&tunnelCapability, &TunnelCapability::availableChanged, this, &VpnCore::tunAvailableChanged);
    const auto lockdownBlocking = [this] {
        const bool blocked = lockdown.isOn() && !connected;
        if (blocked != std::exchange(blockedByLockdown, blocked)) {
            emit trafficBlockedByLockdownChanged(blocked);
        }
    };
    connect(&lockdown, &LockdownControl::changed, this, lockdownBlocking);
    connect(this, &VpnCore::vpnConnectedChanged, this, lockdownBlocking);
}

VpnCore::~VpnCore()
{
    reconnectionTimer.stop();
    // Quitting lifts the lock, before the stop, whose loss must not raise the notice any more.
    if (killSwitch.isProtectionEnabled()) {
        killSwitch.disableProtection();
    }
    if (vpnState != VpnClient::Disconnected) {
        tagged(qInfo(), objectName()) << "Disconnect from VPN";
        vpnClient.stop();
    }
}

ConnectionView* VpnCore::view()
{
    return &connectionView;
}

QString VpnCore::vpnConnectionErrorText() const
{
    return errorText;
}

bool VpnCore::vpnConnected() const
{
    return connected;
}

bool VpnCore::vpnConnectionInProgress() const
{
    // A reconnection about to start is in progress too: one click cancels it.
    return vpnState == VpnClient::Connecting || reconnectionTimer.isActive();
}

bool VpnCore::vpnDisconnectionInProgress() const
{
    return vpnState == VpnClient::Disconnecting;
}

bool VpnCore::networkLockEngaged() const
{
    return killSwitch.isProtectionEnabled();
}

VpnCore::Failure VpnCore::failure() const
{
    return failureValue;
}

void VpnCore::setFailure(Failure value)
{
    if (failureValue != value) {
        failureValue = value;
        emit failureChanged(failureValue);
    }
}

void VpnCore::onTunnelFailed(VpnClient::Failure failure)
{
    tunnelFailure = failure;
}

bool VpnCore::trafficBlockedByLockdown() const
{
    return blockedByLockdown;
}

bool VpnCore::tunAvailable() const
{
    return tunnelCapability.available();
}

QString VpnCore::tunUnavailableText() const
{
    return tunnelCapability.available()
        ? QString()
        : tr("No tunnel can be made on this computer: the VPN service cannot use TUN (%1)")
              .arg(tunnelCapability.reason());
}

void VpnCore::setConnectToLastLocation(bool set)
{
    connectOnStartPending = set;
}

void VpnCore::setNetworkApi(NetworkApi* api)
{
    networkApi = api;
    connect(
        networkApi, &NetworkApi::requestCurrentIpAddressFinished, this, &VpnCore::onRequestCurrentIpAddressFinished);
    connect(networkApi, &NetworkApi::requestServerListFinished, &lockdown, &LockdownControl::setServers);
}

void VpnCore::setVpnServerIp(const QString& ip)
{
    serverIp = ip;
    tagged(qInfo(), objectName()) << "Set VPN server IP: " << ip;
    if (connectOnStartPending) {
        connectOnStartPending = false;
        tagged(qInfo(), objectName()) << "Start auto connection";
        connectToVpn();
    }
}

QString VpnCore::vpnServerIp() const
{
    return serverIp;
}

void VpnCore::connectToVpn()
{
    cancelReconnection();
    errorText.clear();
    emit vpnConnectionErrorTextChanged(errorText);
    setFailure(NoFailure);

    const bool udp = settings->networkProtocol() == Settings::Udp;

    if (!checkInstallation()) {
        return;
    }
    if (!checkCredentials()) {
        setFailure(AccountMissing);
        emit vpnConnectionErrorChanged(CredentialsEmpty);
        emit vpnConnectionErrorTextChanged(errorText);
        return;
    }
    if (serverIp.isEmpty()) {
        errorText = tr("VPN server IP is empty!");
        tagged(qWarning(), objectName()) << errorText;
        setFailure(ConnectionFailed);
        emit vpnConnectionErrorChanged(ServerIpEmpty);
        emit vpnConnectionErrorTextChanged(errorText);
        return;
    }

    // The address reaches OpenVPN's configuration and the lock: its canonical form or nothing.
    if (Utils::canonicalAddress(serverIp).isEmpty()) {
        errorText = tr("VPN server IP is not a valid address!");
        tagged(qWarning(), objectName()) << errorText;
        setFailure(ConnectionFailed);
        emit vpnConnectionErrorChanged(ServerIpEmpty);
        emit vpnConnectionErrorTextChanged(errorText);
        return;
    }

    tagged(qInfo(), objectName()) << QStringLiteral("Connect to VPN, server '%1', protocol '%2'")
                                         .arg(serverIp, OpenVpnClient::protocolName(udp, false));

    // Captured when the user connects; an automatic reconnection keeps them, as the tunnel's
    // servers may still be in place while it starts. The query runs while OpenVPN starts: nothing
    // touches the resolvers before it has ended.
    dnsManager.refresh();
    startRun();
}

void VpnCore::onUserDnsRefreshed()
{
    userDnsSettings = dnsManager.userDnsSettings();
    tagged(qInfo(), objectName()) << "User DNS: (" << userDnsSettings.join(QStringLiteral(", ")) << ")";
    if (afterUserDns) {
        const std::function<void()> step = std::move(afterUserDns);
        afterUserDns = nullptr;
        step();
    }
}

void VpnCore::onLockFailed()
{
    if (vpnState == VpnClient::Disconnected && !reconnectionTimer.isActive()) {
        return;
    }
    tagged(qCritical(), objectName()) << "The network lock failed, ending the tunnel";
    disconnectFromVpn();
    errorText = tr("the network lock could not be applied");
    setFailure(ConnectionFailed);
    emit vpnConnectionErrorTextChanged(errorText);
}

void VpnCore::whenUserDnsKnown(std::function<void()> step)
{
    if (dnsManager.isRefreshing()) {
        afterUserDns = std::move(step);
        return;
    }
    step();
}

void VpnCore::startRun()
{
    tunnelServerIp = Utils::canonicalAddress(serverIp);
    // An engaged lock stays; it is moved to the new server in one step when that changed.
    if (killSwitch.isProtectionEnabled() && killSwitch.protectedServer() != tunnelServerIp) {
        killSwitch.enableProtection(internalIp, tunnelServerIp, settings->allowAccessToLocalDevices());
    }
    dnsServerIpv4.clear();
    dnsServerIpv6.clear();
    vpnClient.setServer(tunnelServerIp, settings->networkProtocol() == Settings::Udp);
    vpnClient.setCredentials(settings->userName(), settings->password());
    vpnClient.setMtu(settings->mtuSize());
    vpnClient.start();
}

void VpnCore::reconnect()
{
    if (Utils::canonicalAddress(serverIp).isEmpty()) {
        // Only a server the list offered is connected to; without one, reconnection gives up here.
        emit vpnConnectionInProgressChanged(false);
        emit reconnectionGaveUp();
        raiseKillSwitchEvent();
        return;
    }
    if (!checkInstallation()) {
        emit vpnConnectionInProgressChanged(false);
        emit reconnectionGaveUp();
        raiseKillSwitchEvent();
        return;
    }
    tagged(qInfo(), objectName()) << QStringLiteral("Reconnect to VPN, server '%1'").arg(serverIp);
    startRun();
}

void VpnCore::cancelReconnection()
{
    if (reconnectionTimer.isActive()) {
        tagged(qInfo(), objectName()) << "Automatic reconnection cancelled";
        reconnectionTimer.stop();
        emit vpnConnectionInProgressChanged(vpnConnectionInProgress());
    }
}

void VpnCore::onHostResumed()
{
    restartTunnel("The host woke up");
}

void VpnCore::onNetworkChanged()
{
    restartTunnel("The network changed");
}

void VpnCore::restartTunnel(const char* reason)
{
    if (reconnectionTimer.isActive()) {
        tagged(qInfo(), objectName()) << reason << ", reconnecting now";
        reconnectionTimer.stop();
        reconnect();
        return;
    }
    if (vpnState == VpnClient::Connected || vpnState == VpnClient::Connecting) {
        // Whether a tunnel survived cannot be told at once: OpenVPN reports it up until its ping
        // time-out, and a fresh byte count needs the server to speak first.
        tagged(qInfo(), objectName()) << reason << ", restarting the tunnel";
        emit vpnConnectionErrorTextChanged(tr("Auto reconnection"));
        restarting = true;
        startRun();
        restarting = false;
        return;
    }
    if (vpnState != VpnClient::Disconnecting && networkApi != nullptr) {
        tagged(qInfo(), objectName()) << reason << ", asking for the current IP";
        networkApi->requestCurrentIpAddress();
    }
}

void VpnCore::toggleConnection()
{
    if (vpnDisconnectionInProgress()) {
        return;
    }
    if (connected || vpnConnectionInProgress()) {
        disconnectFromVpn();
    } else {
        connectToVpn();
    }
}

void VpnCore::disconnectFromVpn()
{
    tagged(qInfo(), objectName()) << "Disconnect from VPN";
    cancelReconnection();
    reconnectionAttempts = 0;
    // Switched off, what went wrong before is no longer the user's concern.
    setFailure(NoFailure);
    // The user's disconnect lifts the lock first, so that the loss it causes raises no notice.
    if (killSwitch.isProtectionEnabled()) {
        killSwitch.disableProtection();
    }
    vpnClient.stop();
}

QStringList VpnCore::brokenInstallation() const
{
    return brokenPieces;
}

void VpnCore::setInstallation(const Installation& programs)
{
    installation = programs;
}

bool VpnCore::checkInstallation()
{
    brokenPieces = installation.brokenPieces();
    if (brokenPieces.isEmpty()) {
        return true;
    }
    errorText = tr("Missing or not executable: %1").arg(brokenPieces.join(QStringLiteral(", ")));
    tagged(qCritical(), objectName()) << "Not connecting: " << errorText;
    setFailure(InstallationBroken);
    emit vpnConnectionErrorTextChanged(errorText);
    return false;
}

bool VpnCore::checkCredentials()
{
    if (!settings->userName().simplified().isEmpty() && !settings->password().simplified().isEmpty()) {
        return true;
    }
    errorText = tr("Username or password is empty!");
    tagged(qWarning(), objectName()) << errorText;
    return false;
}

void VpnCore::onVpnConnectionStateChanged(VpnClient::State state, const QString& additionalData, bool critical)
{
    if (state == vpnState) {
        return;
    }
    vpnState = state;
    emit vpnConnectionInProgressChanged(state == VpnClient::Connecting);
    emit vpnDisconnectionInProgressChanged(state == VpnClient::Disconnecting);
    tagged(qInfo(), objectName()) << "State updated to " << VpnClient::stateName(state, true);
    connectionView.showState(state);

    switch (state) {
    case VpnClient::Disconnected:
        vpnConnectionDown(additionalData, critical);
        break;
    case VpnClient::Connecting:
        setFailure(NoFailure);
        connectionView.clearCurrentIp();
        break;
    case VpnClient::Disconnecting:
        connectionView.clearCurrentIp();
        break;
    case VpnClient::Connected:
        setFailure(NoFailure);
        vpnConnectionUp();
        break;
    case VpnClient::Error: {
        const VpnClient::Failure reason = std::exchange(tunnelFailure, VpnClient::OtherFailure);
        errorText = additionalData;
        setFailure(reason == VpnClient::CredentialsRejected ? AccountRejected
                : reason == VpnClient::ServerSilent         ? ServerSilent
                                                            : ConnectionFailed);
        vpnConnectionDown(additionalData, critical);
        emit vpnConnectionErrorTextChanged(errorText);
        break;
    }
    case VpnClient::Unknown:
        vpnConnectionDown(QString(), false);
        break;
    }
}

void VpnCore::vpnConnectionUp()
{
    const bool recovered = reconnectionAttempts > 0;
    reconnectionAttempts = 0;
    connected = true;

    connectionView.clearCurrentIp();
    emit vpnConnectedChanged(true);
    connectionView.startOnlineTime();

    if (settings->killswitchEnabled()) {
        killSwitch.enableProtection(internalIp, tunnelServerIp, settings->allowAccessToLocalDevices());
    }
    killSwitch.guardTunnel(tunnelServerIp, settings->allowAccessToLocalDevices());
    tagged(qInfo(), objectName()) << "VPN connection is UP";
    if (recovered) {
        emit reconnected();
    }

    if (dnsServerIpv4.isEmpty() && dnsServerIpv6.isEmpty()) {
        tagged(qInfo(), objectName()) << "No DNS server pushed, resolvers left as they are";
    } else {
        whenUserDnsKnown([this, ipv4 = dnsServerIpv4, ipv6 = dnsServerIpv6] {
            dnsToolProcess.start(
                QStringList { DnsManager::dnsToolPath() } + ToolWords::dnsVpn(dnsManager.vpnDnsSettings(ipv4, ipv6)));
        });
    }
    networkApi->requestCurrentIpAddress();
}

void VpnCore::vpnConnectionDown(const QString& additionalData, bool critical)
{
    resetConnectionInfo();
    connectionView.clearCurrentIp();
    connectionView.stopOnlineTime();
    emit vpnConnectedChanged(false);
    vpnState = VpnClient::Disconnected;

    // A restart's own end of the old run is no loss: the next run is starting already. Whatever
    // befalls that next run is.
    const bool ownEnd = std::exchange(restarting, false);
    const bool reconnect = !ownEnd && handleLoss(additionalData, critical);
    // The user's disconnect ends without a report; an error text or the crash marker means nobody asked.
    if (!ownEnd && !reconnect && additionalData == OpenVpnClient::crashMarker) {
        setFailure(ConnectionLost);
    }
    if (!ownEnd && !reconnect && !additionalData.isEmpty()) {
        emit connectionLost(additionalData == OpenVpnClient::crashMarker ? QString() : additionalData);
    }

    tagged(qInfo(), objectName()) << "VPN connection is DOWN";
    whenUserDnsKnown([this] {
        dnsToolProcess.start(QStringList { DnsManager::dnsToolPath() } + ToolWords::dnsUser(userDnsSettings));
    });
    onRequestCurrentIpAddressFinished(preTunnelIp, preTunnelCountryCode);

    if (reconnect) {
        reconnectionTimer.start();
        emit vpnConnectionInProgressChanged(true);
    }
}

bool VpnCore::handleLoss(const QString& additionalData, bool critical)
{
    // The user's own disconnect has lifted the lock already; any other loss leaves it engaged,
    // and the notice tells the user once no reconnection follows.
    if (!reconnectsAfter(additionalData, critical)) {
        raiseKillSwitchEvent();
        return false;
    }
    return true;
}

bool VpnCore::reconnectsAfter(const QString& additionalData, bool critical)
{
    if (additionalData != OpenVpnClient::crashMarker) {
        return false;
    }
    if (critical) {
        if (autoReconnection) {
            tagged(qCritical(), objectName()) << "Critical error, reconnection is now allowed!";
        }
        return false;
    }
    if (!autoReconnection) {
        return false;
    }
    ++reconnectionAttempts;
    if (reconnectionAttempts > maxReconnectionAttempts) {
        tagged(qInfo(), objectName()) << "Can't reconnect after 3 attempts...";
        reconnectionAttempts = 0;
        emit reconnectionGaveUp();
        return false;
    }
    tagged(qInfo(), objectName()) << QStringLiteral("Going to reconnection...%1").arg(reconnectionAttempts);
    emit vpnConnectionErrorTextChanged(tr("Auto reconnection"));
    emit reconnecting(reconnectionAttempts);
    return true;
}

void VpnCore::raiseKillSwitchEvent()
{
    if (!killSwitch.isProtectionEnabled()) {
        return;
    }
    Logger::separator(objectName(), QStringLiteral("Kill switch event!"));
    emit killSwitchEventActivated();
}

void VpnCore::onRequestCurrentIpAddressFinished(const QString& ip, const QString& code)
{
    if (ip.isEmpty() || code.isEmpty()) {
        return;
    }
    if (vpnState == VpnClient::Connecting || vpnState == VpnClient::Disconnecting) {
        tagged(qInfo(), objectName()) << "Request current IP address finished, skipping";
        return;
    }
    if (vpnState == VpnClient::Disconnected) {
        preTunnelIp = ip;
        preTunnelCountryCode = code;
    }
    connectionView.showCurrentIp(ip, code);
}

void VpnCore::onAssignedInternalIp(const QString& ip)
{
    internalIp = ip;
}

void VpnCore::onByteCountChanged(qulonglong receive, qulonglong send)
{
    if (vpnState == VpnClient::Connected) {
        connectionView.setByteCount(receive, send);
    }
}

void VpnCore::onDnsServerAddressesPushed(const QString& dnsServerIpv4Address, const QString& dnsServerIpv6Address)
{
    dnsServerIpv4 = dnsServerIpv4Address;
    dnsServerIpv6 = dnsServerIpv6Address;
}

void VpnCore::onKillSwitchFinished(bool ok)
{
    Q_UNUSED(ok)
}

void VpnCore::onOpenVpnProcessFinished(int exitCode)
{
    Q_UNUSED(exitCode)
    networkApi->requestCurrentIpAddress();
}

void VpnCore::resetConnectionInfo()
{
    internalIp.clear();
    // Neither family of a pushed DNS server outlives its session.
    dnsServerIpv4.clear();
    dnsServerIpv6.clear();
    connected = false;
}
