#pragma once

#include "connection/connectionview.h"
#include "connection/killswitch.h"
#include "connection/lockdowncontrol.h"
#include "connection/reconnection.h"
#include "connection/resolverswitch.h"
#include "connection/runcheck.h"
#include "openvpn/openvpnclient.h"
#include "service/tunnelcapability.h"

#include <QObject>
#include <QString>

class NetworkApi;
class ServiceLink;
class Settings;

// Turns the user's connect and disconnect into work on the tunnel, and the tunnel's reports into
// the flags the main window shows (the texts about the tunnel are its ConnectionView's). Whether a run
// may start is its RunCheck's call, when to reconnect after an unexpected OpenVPN exit its
// Reconnection's; the resolvers are switched by its ResolverSwitch.
//
// The network lock, once engaged, is the user's to lift: it stays through a loss and every
// automatic reconnection, and only the user's disconnect (also from the lock's notice) or quitting
// lift it. A loss that is not followed by a reconnection raises the notice.
class VpnCore : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString vpnConnectionErrorText READ vpnConnectionErrorText NOTIFY vpnConnectionErrorTextChanged)
    Q_PROPERTY(bool vpnConnected READ vpnConnected NOTIFY vpnConnectedChanged)
    Q_PROPERTY(bool vpnConnectionInProgress READ vpnConnectionInProgress NOTIFY vpnConnectionInProgressChanged)
    Q_PROPERTY(bool vpnDisconnectionInProgress READ vpnDisconnectionInProgress NOTIFY vpnDisconnectionInProgressChanged)
    Q_PROPERTY(Failure failure READ failure NOTIFY failureChanged)
    // The service can make a tunnel (it has TUN); false once it said it cannot, with the text why.
    Q_PROPERTY(bool tunAvailable READ tunAvailable NOTIFY tunAvailableChanged)
    Q_PROPERTY(QString tunUnavailableText READ tunUnavailableText NOTIFY tunAvailableChanged)
    // Lockdown is on and no tunnel is up: nothing but the VPN servers, the provider and the local
    // network (as set) is reachable. Lifted only by turning lockdown off in the settings.
    Q_PROPERTY(bool trafficBlockedByLockdown READ trafficBlockedByLockdown NOTIFY trafficBlockedByLockdownChanged)
    // The user who holds lockdown when it is another's, whom alone (and an administrator) may lift it;
    // empty when this user may.
    Q_PROPERTY(QString lockdownHolder READ lockdownHolder NOTIFY lockdownHolderChanged)

public:
    enum VpnError
    {
        ServerIpEmpty = 0,
        CredentialsEmpty = 1
    };

    // Why the last attempt or run ended without the user's asking; it stands until the next attempt
    // (or, for the account, until the credentials change).
    enum Failure
    {
        NoFailure,
        AccountMissing,
        AccountRejected,
        ServerSilent,
        ConnectionFailed,
        ConnectionLost,
        // A program the tunnel needs is missing or cannot be run: see brokenInstallation().
        InstallationBroken
    };
    Q_ENUM(Failure)

    explicit VpnCore(ServiceLink* link, QObject* parent = nullptr);
    ~VpnCore() override;

    // What the window shows about the tunnel.
    ConnectionView* view()
    {
        return &connectionView;
    }
    QString vpnConnectionErrorText() const
    {
        return errorText;
    }
    bool vpnConnected() const
    {
        return connected;
    }
    bool vpnConnectionInProgress() const;
    bool vpnDisconnectionInProgress() const
    {
        return vpnState == VpnClient::Disconnecting;
    }
    // The network lock is engaged, with or without a tunnel.
    bool networkLockEngaged() const
    {
        return killSwitch.isProtectionEnabled();
    }
    Failure failure() const
    {
        return failureValue;
    }
    bool tunAvailable() const
    {
        return tunnelCapability.available();
    }
    bool trafficBlockedByLockdown() const
    {
        return lockdown.blocksTraffic();
    }
    QString lockdownHolder() const
    {
        return lockdown.holder();
    }
    QString tunUnavailableText() const;

    // What the last refused attempt found missing or not executable, each with its path.
    QStringList brokenInstallation() const
    {
        return runCheck.brokenPieces();
    }
    // Where the programs a tunnel needs are looked for (by default this build's paths).
    void setInstallation(const Installation& programs)
    {
        runCheck.setInstallation(programs);
    }

    void setConnectToLastLocation(bool set)
    {
        connectOnStartPending = set;
    }
    void setNetworkApi(NetworkApi* api);

    Q_INVOKABLE void connectToVpn();
    Q_INVOKABLE void disconnectFromVpn();
    // The user's one gesture for both: a tunnel up or on its way (a reconnection about to start
    // included) is ended, otherwise one is made; while one comes down, nothing.
    Q_INVOKABLE void toggleConnection();
    Q_INVOKABLE void setVpnServerIp(const QString& ip);
    QString vpnServerIp() const
    {
        return serverIp;
    }
    // The address the tunnel gave this host; empty without a tunnel.
    QString tunnelIp() const
    {
        return internalIp;
    }

    // The host woke up, or its default route or uplink changed: a tunnel that runs or is being set up
    // is started again at once, the lock held, rather than left to OpenVPN's ping time-out; a
    // pending reconnection starts now. Without a tunnel only the current address is asked again.
    void onHostResumed();
    void onNetworkChanged();

    static constexpr int reconnectionDelay = Reconnection::delay;
    static constexpr int maxReconnectionAttempts = Reconnection::maxAttempts;

signals:
    // A tunnel, up or on its way, ended without the user's asking and no reconnection follows.
    // The reason is OpenVPN's error text, empty for an exit nobody asked for.
    void connectionLost(QString reason);
    void failureChanged(VpnCore::Failure failure);
    void killSwitchEventActivated();
    void networkLockEngagedChanged(bool engaged);
    void tunAvailableChanged();
    void trafficBlockedByLockdownChanged(bool blocked);
    void lockdownHolderChanged();
    // An automatic reconnection came up.
    void reconnected();
    // A loss is retried after the reconnection delay; attempt counts from 1.
    void reconnecting(int attempt);
    // Automatic reconnection stopped trying.
    void reconnectionGaveUp();
    void vpnConnectedChanged(bool connected);
    void vpnConnectionErrorChanged(VpnCore::VpnError error);
    void vpnConnectionErrorTextChanged(QString text);
    void vpnConnectionInProgressChanged(bool inProgress);
    void vpnDisconnectionInProgressChanged(bool inProgress);

protected slots:
    void onAssignedInternalIp(const QString& ip)
    {
        internalIp = ip;
    }
    void onByteCountChanged(qulonglong receive, qulonglong send);
    // The tunnel client's reason for the Error report that follows.
    void onTunnelFailed(VpnClient::Failure failure)
    {
        tunnelFailure = failure;
    }
    void onDnsServerAddressesPushed(const QString& ipv4, const QString& ipv6)
    {
        resolvers.setPushed(ipv4, ipv6);
    }
    void onOpenVpnProcessFinished(int exitCode);
    void onRequestCurrentIpAddressFinished(const QString& ip, const QString& countryCode)
    {
        connectionView.currentIpAnswered(ip, countryCode, vpnState);
    }
    void onVpnConnectionStateChanged(VpnClient::State state, const QString& additionalData, bool critical);

protected:
    void resetConnectionInfo();
    void raiseKillSwitchEvent();

private:
    // Starts a run to the chosen server: the user's connect and every automatic reconnection.
    void startRun();
    void reconnect();
    void cancelReconnection();
    void restartTunnel(const char* reason);
    // Says why a run may not start: the failure, the error and its text.
    void refuse(RunCheck::Refusal refusal);
    // The lock's tool failed: a tunnel is not left up or coming without the guard and the lock it
    // would claim.
    void onLockFailed();
    void setFailure(Failure value);
    void vpnConnectionUp();
    void vpnConnectionDown(const QString& additionalData, bool critical);
    // Decides about reconnection and the kill-switch event after a loss; true to reconnect.
    bool handleLoss(const QString& additionalData, bool critical);

    VpnClient::State vpnState = VpnClient::Disconnected;
    ConnectionView connectionView;
    KillSwitch killSwitch;
    NetworkApi* networkApi = nullptr;
    OpenVpnClient vpnClient;
    QString internalIp;
    QString serverIp;
    // The server of the run started last: the one the lock lets through.
    QString tunnelServerIp;
    ResolverSwitch resolvers;
    Settings* settings = nullptr;
    Reconnection reconnection;
    bool connectOnStartPending = false;
    bool connected = false;
    // A restart is under way: the end of the old run is none of the user's business.
    bool restarting = false;
    QString errorText;
    Failure failureValue = NoFailure;
    VpnClient::Failure tunnelFailure = VpnClient::OtherFailure;
    TunnelCapability tunnelCapability;
    RunCheck runCheck;
    LockdownControl lockdown;
};

Q_DECLARE_METATYPE(VpnCore::VpnError)
