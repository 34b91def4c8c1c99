#pragma once

#include "vpnclient.h"

#include <QString>

#include <memory>

class ClientConfig;
class ManagementDialogue;
class ManagementLink;
class OpenVpnProcess;
class QTimer;
class ServiceLink;

// The OpenVPN tunnel client the connection layer drives: it controls the runs (start, stop, the
// time-out, the end of OpenVPN) and the attempts at the management port; the configuration's files
// and the management dialogue are helpers of its own.
class OpenVpnClient : public VpnClient
{
    Q_OBJECT

public:
    explicit OpenVpnClient(ServiceLink* link, QObject* parent = nullptr);
    ~OpenVpnClient() override;

    void setServer(const QString& server, bool udp);
    void setCredentials(const QString& userName, const QString& password);
    // The user's MTU for the tunnel's interface (0 or less: automatic), for the runs to come.
    void setMtu(qint32 mtu);
    bool start();
    bool stop();

    QString createConfigFile();

    static QString protocolName(bool udp, bool lowerCase);
    static QString openVpnExecutablePath();
    // Milliseconds before the next attempt at the management port after this many failed ones.
    static int retryDelayMs(int failedAttempts);

    static constexpr quint16 managementPort = 61973;
    // How long a start may take to bring the tunnel up before it counts as failed: OpenVPN itself
    // retries an unreachable server for ever.
    static constexpr int defaultConnectTimeoutMs = 60000;
    void setConnectTimeout(int milliseconds);

    // The marker of a state report for a run that ended without a stop.
    static const QString crashMarker;

protected slots:
    void onOpenVpnProcessFinished(int exitCode);
    void onOpenVpnProcessStarted();
    void onOpenVpnProcessRefused(int code);
    void onServiceLost();
    void onConnectTimeout();
    void parseDataFromManagementInterface();
    bool connectToManagementInterface();

private:
    void setState(State newState, const QString& additionalData, bool critical);
    // Ends the run (management signal, else a kill through the service) without reporting a state.
    void endRun();
    // The run ended without a stop: reported as a loss that may be retried.
    void reportUnexpectedEnd();
    void onManagementDisconnected();
    void onCredentialsRejected();
    void onTunnelUp();

    OpenVpnProcess* process = nullptr;
    ManagementLink* managementSocket = nullptr;
    QTimer* retryTimer = nullptr;
    QTimer* connectTimer = nullptr;
    ManagementDialogue* dialogue = nullptr;
    std::unique_ptr<ClientConfig> config;

    QString server;
    bool udp = true;
    qint32 mtu = 0;
    bool stopRequested = false;
    bool destroying = false;
    QString errorText;
    State state = Disconnected;
    QString userName;
    QString password;

    int connectAttempts = 0;
};
