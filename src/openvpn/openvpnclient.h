#pragma once

#include "vpnclient.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class OpenVpnProcess;
class ManagementLink;
class QTemporaryFile;
class QTimer;

// The OpenVPN tunnel client: builds the configuration, has the privileged service run OpenVPN,
// and follows OpenVPN through its management interface.
class OpenVpnClient : public VpnClient
{
    Q_OBJECT

public:
    explicit OpenVpnClient(QObject* parent = nullptr);
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

protected:
    // Everything the management socket delivered, as it arrives.
    void consumeManagementData(const QByteArray& data);

protected slots:
    void onOpenVpnProcessFinished(int exitCode);
    void onOpenVpnProcessStarted();
    void onOpenVpnProcessRefused(int code);
    void onServiceLost();
    void onConnectTimeout();
    void parseDataFromManagementInterface();
    bool connectToManagementInterface();

private:
    void handleLine(const QString& line);
    bool isGreeting(const QString& line) const;
    void sendUserName();
    void sendPassword();
    bool createManagementSecret();
    void answerPasswordPrompt();
    bool parsePushReply(const QString& line);
    bool parseAssignIp(const QString& line);
    void parseByteCount(const QString& line);
    QStringList splitPushOptions(const QString& reply) const;
    void extractDnsServers(const QStringList& options);
    void writeToManagement(const QByteArray& data);
    void setState(State newState, const QString& additionalData, bool critical);
    // Ends the run (management signal, else a kill through the service) without reporting a state.
    void endRun();
    // The run ended without a stop: reported as a loss that may be retried.
    void reportUnexpectedEnd();
    void onManagementDisconnected();

    static QString escapedForManagement(const QString& text);
    static QString additionalDirectives(bool udp, qint32 mtu);

    OpenVpnProcess* process = nullptr;
    ManagementLink* managementSocket = nullptr;
    QTimer* retryTimer = nullptr;
    QTimer* connectTimer = nullptr;
    std::unique_ptr<QTemporaryFile> configFile;
    // The management interface's password of this run, and the file of this user only that
    // tells it to the service.
    std::unique_ptr<QTemporaryFile> managementPasswordFile;
    QByteArray managementSecret;
    bool managementPasswordSent = false;
    // OpenVPN greeted this connection: it takes commands now (before, a line is a password try).
    bool managementGreeted = false;

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
    QString assignedIp;
    quint64 bytesReceived = 0;
    quint64 bytesSent = 0;
    // Bytes of a management line whose line end has not arrived yet.
    QByteArray pendingLine;
    bool discardingLine = false;

    const QString connectedMarker { QStringLiteral("Initialization Sequence Completed") };
    const QString logPrefix { QStringLiteral("Management: ") };
};
