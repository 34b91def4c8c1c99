#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <QQueue>
#include <QString>

class QTimer;
class QWebSocket;

// The client's end of the WebSocket link to the privileged service vpn-service. Keeps the link
// open for the life of the process, queues commands while it is down and hands every message of
// the service to its listeners. Knows nothing about what the commands mean.
class ServiceController : public QObject
{
    Q_OBJECT

public:
    explicit ServiceController(QObject* parent = nullptr);
    ~ServiceController() override;

    // The most recently constructed controller; never creates one.
    static ServiceController* instance();

    void sendCommand(const QString& command);
    void sendInitCommand();
    // The service answered this client's "init: connection": what an earlier client left (a tunnel,
    // a lock, the resolvers) is gone.
    bool isInitialized() const;
    // The link is up now: a command is sent at once rather than queued.
    bool isLinkUp() const;

signals:
    void connected();
    void disconnected();
    void initialConnectionStatusChanged();
    void initialized();
    void processOutput(const QString& message);

private slots:
    void checkConnectionTimer();
    void initialize();
    void onConnected();
    void onTextMessageReceived(const QString& message);
    void onWebSocketError(QAbstractSocket::SocketError error);
    void sendInitialConnectionStatus();

private:
    void onDisconnected();
    void openSocket();
    void writeMessage(const QString& text);
    void reportInitialStatus();

    static ServiceController* currentInstance;

    QQueue<QString> pendingCommands;
    QTimer* checkTimer = nullptr;
    QWebSocket* socket = nullptr;
    bool initialStatusReported = false;
    bool initSent = false;
    bool initAnswered = false;
    bool linkUp = false;
    bool messageHandlerAttached = false;
    const int servicePort = 6447;
    const int checkInterval = 3000;
};
