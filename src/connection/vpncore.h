#pragma once

#include "connection/dnsmanager.h"
#include "connection/killswitch.h"
#include "openvpn/openvpnclient.h"
#include "service/serviceprocess.h"
#include "service/tunnelcapability.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class NetworkApi;
class Settings;

// Turns the user's connect and disconnect into work on the tunnel, and the tunnel's reports into
// the texts and flags the main window shows. Also reconnects after an unexpected OpenVPN exit,
// keeps the online time and the traffic counters.
//
// The network lock, once engaged, is the user's to lift: it stays through a loss and every
// automatic reconnection, and only the user's disconnect (also from the lock's notice) or quitting
// lift it. A loss that is not followed by a reconnection raises the notice.
class VpnCore : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString currentIp READ currentIp NOTIFY currentIpChanged)
    Q_PROPERTY(QString currentIpInfoText READ currentIpInfoText NOTIFY currentIpInfoTextChanged)
    Q_PROPERTY(
        QString currentLocationImageSource READ currentLocationImageSource NOTIFY currentLocationImageSourceChanged)
    // The counters as OpenVPN last reported them; announced with the next second of the online time.
    Q_PROPERTY(QString downloaded READ downloaded NOTIFY downloadedChanged)
    Q_PROPERTY(QString uploaded READ uploaded NOTIFY uploadedChanged)
    Q_PROPERTY(QString vpnConnectionErrorText READ vpnConnectionErrorText NOTIFY vpnConnectionErrorTextChanged)
    Q_PROPERTY(QString vpnOnlineTime READ vpnOnlineTime NOTIFY vpnOnlineTimeChanged)
    Q_PROPERTY(bool vpnConnected READ vpnConnected NOTIFY vpnConnectedChanged)
    Q_PROPERTY(bool vpnConnectionInProgress READ vpnConnectionInProgress NOTIFY vpnConnectionInProgressChanged)
    Q_PROPERTY(bool vpnDisconnectionInProgress READ vpnDisconnectionInProgress NOTIFY vpnDisconnectionInProgressChanged)
    Q_PROPERTY(Failure failure READ failure NOTIFY failureChanged)
    // The service can make a tunnel (it has TUN); false once it said it cannot, with the text why.
    Q_PROPERTY(bool tunAvailable READ tunAvailable NOTIFY tunAvailableChanged)
    Q_PROPERTY(QString tunUnavailableText READ tunUnavailableText NOTIFY tunAvailableChanged)

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
        ConnectionLost
    };
    Q_ENUM(Failure)

    explicit VpnCore(QObject* parent = nullptr);
    ~VpnCore() override;

    QString currentIp() const;
    QString currentIpInfoText() const;
    QString currentLocationImageSource() const;
    QString downloaded() const;
    QString uploaded() const;
    QString vpnConnectionErrorText() const;
    QString vpnOnlineTime() const;
    bool vpnConnected() const;
    bool vpnConnectionInProgress() const;
    bool vpnDisconnectionInProgress() const;
    // The network lock is engaged, with or without a tunnel.
    bool networkLockEngaged() const;
    Failure failure() const;
    bool tunAvailable() const;
    QString tunUnavailableText() const;

    void setConnectToLastLocation(bool set);
    void setNetworkApi(NetworkApi* api);

    static QString formatByteCount(quint64 bytes);

    Q_INVOKABLE void connectToVpn();
    Q_INVOKABLE void disconnectFromVpn();
    Q_INVOKABLE void setAutoReconnection(bool set);
    Q_INVOKABLE void setVpnServerIp(const QString& ip);

    // The host woke up, or its default route or uplink changed: a tunnel that runs or is being set up
    // is started again at once, the lock held, rather than left to OpenVPN's ping time-out; a
    // pending reconnection starts now. Without a tunnel only the current address is asked again.
    void onHostResumed();
    void onNetworkChanged();

    static constexpr int reconnectionDelay = 1000;
    static constexpr int maxReconnectionAttempts = 3;

signals:
    // A tunnel, up or on its way, ended without the user's asking and no reconnection follows.
    // The reason is OpenVPN's error text, empty for an exit nobody asked for.
    void connectionLost(QString reason);
    void currentIpChanged(QString ip);
    void currentIpInfoTextChanged(QString text);
    void currentLocationImageSourceChanged(QString imageSource);
    void downloadedChanged(QString downloaded);
    void failureChanged(VpnCore::Failure failure);
    void killSwitchEventActivated();
    void networkLockEngagedChanged(bool engaged);
    void tunAvailableChanged();
    // An automatic reconnection came up.
    void reconnected();
    // A loss is retried after the reconnection delay; attempt counts from 1.
    void reconnecting(int attempt);
    // Automatic reconnection stopped trying.
    void reconnectionGaveUp();
    void uploadedChanged(QString uploaded);
    void vpnConnectedChanged(bool connected);
    void vpnConnectionErrorChanged(VpnCore::VpnError error);
    void vpnConnectionErrorTextChanged(QString text);
    void vpnConnectionInProgressChanged(bool inProgress);
    void vpnDisconnectionInProgressChanged(bool inProgress);
    void vpnOnlineTimeChanged(QString time);

protected slots:
    void onAssignedInternalIp(const QString& ip);
    void onByteCountChanged(qulonglong receive, qulonglong send);
    // The tunnel client's reason for the Error report that follows.
    void onTunnelFailed(int failure);
    void onDnsServerAddressesPushed(const QString& dnsServerIpv4Address, const QString& dnsServerIpv6Address);
    void onKillSwitchFinished(bool ok);
    void onOnlineActivityTimerEvent();
    void onOpenVpnProcessFinished(int exitCode);
    void onRequestCurrentIpAddressFinished(const QString& ip, const QString& countryCode);
    void onVpnConnectionStateChanged(int state, const QString& additionalData, bool critical);

protected:
    void updateOnlineTime(qint64 seconds);
    void resetConnectionInfo();
    void raiseKillSwitchEvent();

private:
    // The online time, and with it the traffic counters whose text changed.
    void announceOnlineTime();
    bool checkCredentials();
    // Starts a run to the chosen server: the user's connect and every automatic reconnection.
    void startRun();
    void reconnect();
    void cancelReconnection();
    void restartTunnel(const char* reason);
    // Runs the step once the user's resolvers are known: at once, or when the query of the
    // connect that is under way ends. Only the latest step waits; each sets all resolvers.
    void whenUserDnsKnown(std::function<void()> step);
    void onUserDnsRefreshed();
    void setCurrentIpInfoText(const QString& text);
    void setFailure(Failure value);
    void clearCurrentIp();
    void vpnConnectionUp();
    void vpnConnectionDown(const QString& additionalData, bool critical);
    // Decides about reconnection and the kill-switch event after a loss; true to reconnect.
    bool handleLoss(const QString& additionalData, bool critical);
    // Counts the attempt; true when this loss is retried after the reconnection delay.
    bool reconnectsAfter(const QString& additionalData, bool critical);

    qint32 vpnState = VpnClient::Disconnected;
    DnsManager dnsManager;
    KillSwitch killSwitch;
    NetworkApi* networkApi = nullptr;
    OpenVpnClient vpnClient;
    QDateTime connectionStartTime;
    QString countryCode;
    QString currentIpValue;
    QString dnsServerIpv4;
    QString dnsServerIpv6;
    QString infoText;
    QString onlineTime;
    QString internalIp;
    QString serverIp;
    // The server of the run started last: the one the lock lets through.
    QString tunnelServerIp;
    QTimer onlineActivityTimer;
    QTimer reconnectionTimer;
    ServiceProcess dnsToolProcess;
    Settings* settings = nullptr;
    bool connectOnStartPending = false;
    bool autoReconnection = false;
    bool connected = false;
    // A restart is under way: the end of the old run is none of the user's business.
    bool restarting = false;
    QString errorText;
    quint64 receivedBytes = 0;
    quint64 sentBytes = 0;
    // The counters as last announced: they change with the online time, in the same frame.
    QString announcedDownloaded;
    QString announcedUploaded;
    QString preTunnelIp;
    QString preTunnelCountryCode;
    QStringList userDnsSettings;
    std::function<void()> afterUserDns;
    qint32 reconnectionAttempts = 0;
    Failure failureValue = NoFailure;
    int tunnelFailure = VpnClient::OtherFailure;
    TunnelCapability tunnelCapability;
};

Q_DECLARE_METATYPE(VpnCore::VpnError)
