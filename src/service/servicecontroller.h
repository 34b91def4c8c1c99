#pragma once

#include "servicelink.h"

#include <QAbstractSocket>
#include <QQueue>
#include <QString>

class QTimer;
class QWebSocket;

// The client's end of the WebSocket link to the privileged service vpn-service. Keeps the link
// open for the life of the process, queues commands while it is down and hands every message of
// the service to its listeners. Knows nothing about what the commands mean.
class ServiceController : public ServiceLink
{
    Q_OBJECT

public:
    explicit ServiceController(QObject* parent = nullptr);
    ~ServiceController() override;

    void sendCommand(const QString& command) override;
    // "init: connection" at once, for a client that is about to go.
    void sendInitCommand();
    bool isInitialized() const override;
    bool isLinkUp() const override;

signals:
    // The first attempt at the link ended, either way.
    void initialConnectionStatusChanged();

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
