#pragma once

#include "programcatalog.h"
#include "programrunner.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

class QWebSocket;
class QWebSocketServer;
class QWebSocketCorsAuthenticator;

// The WebSocket end of the service on 127.0.0.1:6447. Only the client executable of the
// application folder (or one named on the command line) may command it; a web page (a
// handshake with an Origin header) and any other local process are refused.
class VpnService : public QObject
{
    Q_OBJECT

public:
    VpnService(const QString& applicationFolder, const QStringList& extraAllowedClients, QObject* parent = nullptr);

    bool listen();

    static constexpr quint16 port = 6447;
    static constexpr quint64 maxMessageSize = 64 * 1024;

private:
    void onOriginAuthentication(QWebSocketCorsAuthenticator* authenticator);
    void onNewConnection();
    void onTextMessage(QWebSocket* client, const QString& message);
    void onBinaryMessage(QWebSocket* client, const QByteArray& message);
    void onClientDisconnected(QWebSocket* client);
    void broadcast(const QString& line);
    // uid: the user the client runs as, -1 when its processes disagree or it is unknown.
    bool isAllowedPeer(QWebSocket* client, QString* who, qint64* uid) const;
    static QString describe(const QWebSocket* client);

    ProgramCatalog catalog;
    QStringList allowedClients;
    QWebSocketServer* server = nullptr;
    ProgramRunner* runner = nullptr;
    QList<QWebSocket*> clients;
    QHash<QWebSocket*, qint64> clientUids;
};
