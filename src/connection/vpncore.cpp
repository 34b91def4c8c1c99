#include "vpncore.h"

#include "foundation/logger.h"
#include "foundation/logtag.h"
#include "foundation/utils.h"
#include "servers/networkapi.h"
#include "settings/settings.h"

#include <utility>

VpnCore::VpnCore(ServiceLink* link, QObject* parent)
    : QObject(parent)
    , killSwitch(link)
    , vpnClient(link)
    , resolvers(link)
    , settings(Settings::instance())
    , reconnection(settings)
    , tunnelCapability(link)
    , runCheck(settings)
    , lockdown(link)
{
    qRegisterMetaType<VpnCore::VpnError>("VpnCore::VpnError");
    // By name, for the tunnel's reports played from QML.
    qRegisterMetaType<VpnClient::State>("VpnClient::State");
    qRegisterMetaType<VpnClient::Failure>("VpnClient::Failure");
    setObjectName(QStringLiteral("VpnCore"));

    connect(&reconnection, &Reconnection::due, this, &VpnCore::reconnect);
    connect(&reconnection, &Reconnection::retrying, this, [this](int attempt) {
        emit vpnConnectionErrorTextChanged(tr("Auto reconnection"));
        emit reconnecting(attempt);
    });
    connect(&reconnection, &Reconnection::gaveUp, this, &VpnCore::reconnectionGaveUp);
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
    connect(&killSwitch, &KillSwitch::protectionChanged, this, &VpnCore::networkLockEngagedChanged);
    connect(&killSwitch, &KillSwitch::failed, this, &VpnCore::onLockFailed);
    connect(&tunnelCapability, &TunnelCapability::availableChanged, this, &VpnCore::tunAvailableChanged);
    connect(&lockdown, &LockdownControl::blockingChanged, this, &VpnCore::trafficBlockedByLockdownChanged);
    connect(this, &VpnCore::vpnConnectedChanged, &lockdown, &LockdownControl::setTunnelUp);
    connect(&lockdown, &LockdownControl::holderChanged, this, &VpnCore::lockdownHolderChanged);
}

VpnCore::~VpnCore()
{
    reconnection.cancel();
    // Quitting lifts the lock, before the stop, whose loss must not raise the notice any more.
    if (killSwitch.isProtectionEnabled()) {
        killSwitch.disableProtection();
    }
    if (vpnState != VpnClient::Disconnected) {
        tagged(qInfo(), objectName()) << "Disconnect from VPN";
        vpnClient.stop();
    }
}

bool VpnCore::vpnConnectionInProgress() const
{
    // A reconnection about to start is in progress too: one click cancels it.
    return vpnState == VpnClient::Connecting || reconnection.isPending();
}

void VpnCore::setFailure(Failure value)
{
    if (failureValue != value) {
        failureValue = value;
        emit failureChanged(failureValue);
    }
}

QString VpnCore::tunUnavailableText() const
{
    return tunnelCapability.available()
        ? QString()
        : tr("No tunnel can be made on this computer: the VPN service cannot use TUN (%1)")
              .arg(tunnelCapability.reason());
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

void VpnCore::connectToVpn()
{
    cancelReconnection();
    errorText.clear();
    emit vpnConnectionErrorTextChanged(errorText);
    setFailure(NoFailure);

    const bool udp = settings->networkProtocol() == Settings::Udp;
    if (const RunCheck::Refusal refusal = runCheck.beforeConnect(serverIp); refusal != RunCheck::None) {
        refuse(refusal);
        return;
    }

    tagged(qInfo(), objectName()) << QStringLiteral("Connect to VPN, server '%1', protocol '%2'")
                                         .arg(serverIp, OpenVpnClient::protocolName(udp, false));

    resolvers.readUserResolvers();
    startRun();
}

void VpnCore::startRun()
{
    tunnelServerIp = Utils::canonicalAddress(serverIp);
    // An engaged lock stays; it is moved to the new server in one step when that changed.
    if (killSwitch.isProtectionEnabled() && killSwitch.protectedServer() != tunnelServerIp) {
        killSwitch.enableProtection(internalIp, tunnelServerIp, settings->allowAccessToLocalDevices());
    }
    resolvers.forgetPushed();
    vpnClient.setServer(tunnelServerIp, settings->networkProtocol() == Settings::Udp);
    vpnClient.setCredentials(settings->userName(), settings->password());
    vpnClient.setMtu(settings->mtuSize());
    vpnClient.start();
}

void VpnCore::reconnect()
{
    // Only a server the list offered is connected to, and only with the programs in place; without
    // them, reconnection gives up here.
    if (const RunCheck::Refusal refusal = runCheck.beforeReconnect(serverIp); refusal != RunCheck::None) {
        if (refusal == RunCheck::InstallationBroken) {
            refuse(refusal);
        }
        emit vpnConnectionInProgressChanged(false);
        emit reconnectionGaveUp();
        raiseKillSwitchEvent();
        return;
    }
    tagged(qInfo(), objectName()) << QStringLiteral("Reconnect to VPN, server '%1'").arg(serverIp);
    startRun();
}

void VpnCore::refuse(RunCheck::Refusal refusal)
{
    errorText = runCheck.text();
    if (refusal == RunCheck::InstallationBroken) {
        tagged(qCritical(), objectName()) << "Not connecting: " << errorText;
        setFailure(InstallationBroken);
    } else {
        tagged(qWarning(), objectName()) << errorText;
        setFailure(refusal == RunCheck::AccountMissing ? AccountMissing : ConnectionFailed);
        emit vpnConnectionErrorChanged(refusal == RunCheck::AccountMissing ? CredentialsEmpty : ServerIpEmpty);
    }
    emit vpnConnectionErrorTextChanged(errorText);
}

void VpnCore::onLockFailed()
{
    if (vpnState == VpnClient::Disconnected && !reconnection.isPending()) {
        return;
    }
    tagged(qCritical(), objectName()) << "The network lock failed, ending the tunnel";
    disconnectFromVpn();
    errorText = tr("the network lock could not be applied");
    setFailure(ConnectionFailed);
    emit vpnConnectionErrorTextChanged(errorText);
}

void VpnCore::cancelReconnection()
{
    if (reconnection.cancel()) {
        tagged(qInfo(), objectName()) << "Automatic reconnection cancelled";
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
    if (reconnection.cancel()) {
        tagged(qInfo(), objectName()) << reason << ", reconnecting now";
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
    reconnection.reset();
    // Switched off, what went wrong before is no longer the user's concern.
    setFailure(NoFailure);
    // The user's disconnect lifts the lock first, so that the loss it causes raises no notice.
    if (killSwitch.isProtectionEnabled()) {
        killSwitch.disableProtection();
    }
    vpnClient.stop();
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
    const bool recovered = reconnection.tunnelUp();
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

    resolvers.useTunnel();
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
    resolvers.restoreUser();
    connectionView.showPreTunnelIp();

    if (reconnect) {
        reconnection.schedule();
        emit vpnConnectionInProgressChanged(true);
    }
}

bool VpnCore::handleLoss(const QString& additionalData, bool critical)
{
    // The user's own disconnect has lifted the lock already; any other loss leaves it engaged,
    // and the notice tells the user once no reconnection follows.
    if (!reconnection.afterLoss(additionalData, critical)) {
        raiseKillSwitchEvent();
        return false;
    }
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

void VpnCore::onByteCountChanged(qulonglong receive, qulonglong send)
{
    if (vpnState == VpnClient::Connected) {
        connectionView.setByteCount(receive, send);
    }
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
    resolvers.forgetPushed();
    connected = false;
}
