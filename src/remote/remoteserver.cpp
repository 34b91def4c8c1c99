#include "remoteserver.h"

#include "foundation/logtag.h"
#include "platform/remotesocket.h"
#include "protocol/remoteprotocol.h"
#include "remotecommands.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

using RemoteProtocol::Outcome;

RemoteServer::RemoteServer(RemoteCommands* commands, QObject* parent)
    : QObject(parent)
    , commands(commands)
    , server(new QLocalServer(this))
{
    setObjectName(QStringLiteral("RemoteServer"));
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, &QLocalServer::newConnection, this, &RemoteServer::onNewConnection);
}

bool RemoteServer::listen()
{
    const RemoteSocket::Place place = RemoteSocket::place();
    if (!RemoteSocket::prepare(place, &error)) {
        tagged(qWarning(), objectName()) << "No command line socket: " << error;
        return false;
    }
    // A socket that answers belongs to another client of this user (another session): it stays.
    QLocalSocket probe;
    probe.connectToServer(place.name);
    if (probe.waitForConnected(500)) {
        error = QStringLiteral("another client of this user listens on %1").arg(place.name);
        tagged(qWarning(), objectName()) << "No command line socket: " << error;
        return false;
    }
    QLocalServer::removeServer(place.name);
    if (!server->listen(place.name)) {
        error = server->errorString();
        tagged(qWarning(), objectName()) << "No command line socket: " << error;
        return false;
    }
    tagged(qInfo(), objectName()) << "Command line socket: " << place.name;
    return true;
}

QString RemoteServer::errorString() const
{
    return error;
}

void RemoteServer::onNewConnection()
{
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QString reason;
        if (!RemoteSocket::peerIsSelf(socket->socketDescriptor(), &reason)) {
            tagged(qWarning(), objectName()) << "Request refused: " << reason;
            answer(socket,
                RemoteProtocol::replyLine(RemoteProtocol::reply(
                    Outcome::NotAllowed, QStringLiteral("only the client's own user may command it"))));
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            onReadyRead(socket);
        });
        QTimer::singleShot(requestWaitMs, socket, [this, socket] {
            if (socket->property("requested").toBool()) {
                return;
            }
            answer(socket,
                RemoteProtocol::replyLine(
                    RemoteProtocol::reply(Outcome::Usage, QStringLiteral("no request line in time"))));
        });
        onReadyRead(socket);
    }
}

void RemoteServer::onReadyRead(QLocalSocket* socket)
{
    if (socket->property("requested").toBool()) {
        // One request per connection: what follows it is not read.
        socket->readAll();
        return;
    }
    const int end = socket->peek(RemoteProtocol::maxRequestLength + 1).indexOf('\n');
    if (end < 0) {
        if (socket->bytesAvailable() > RemoteProtocol::maxRequestLength) {
            socket->setProperty("requested", true);
            answer(socket,
                RemoteProtocol::replyLine(
                    RemoteProtocol::reply(Outcome::Usage, QStringLiteral("request line too long"))));
        }
        return;
    }
    socket->setProperty("requested", true);
    const QByteArray line = socket->read(end + 1).chopped(1);
    const RemoteProtocol::Parsed parsed = RemoteProtocol::parseRequest(line);
    if (!parsed.ok) {
        tagged(qWarning(), objectName()) << "Request refused: " << parsed.error;
        answer(socket, RemoteProtocol::replyLine(RemoteProtocol::reply(Outcome::Usage, parsed.error)));
        return;
    }
    tagged(qInfo(), objectName()) << "Request: " << RemoteProtocol::wordName(parsed.request.word);
    commands->run(parsed.request, socket, [this, socket](const QJsonObject& reply) {
        answer(socket, RemoteProtocol::replyLine(reply));
    });
}

void RemoteServer::answer(QLocalSocket* socket, const QByteArray& line)
{
    socket->write(line);
    socket->flush();
    socket->disconnectFromServer();
}
