#include "singleapplication.h"

#include "foundation/logtag.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

const char ackReply = '\x06';

// Unique per application id and per user session.
QString instanceKey(const QString& appId)
{
    QByteArray user = qgetenv("USER");
    if (user.isEmpty()) {
        user = qgetenv("USERNAME");
    }
    QByteArray session = qgetenv("XDG_SESSION_ID");
    if (session.isEmpty()) {
        session = qgetenv("SESSIONNAME");
    }
    const QByteArray seed = appId.toUtf8() + '\n' + user + '\n' + session + '\n' + QDir::homePath().toUtf8();
    return appId + QLatin1Char('-')
        + QString::fromLatin1(QCryptographicHash::hash(seed, QCryptographicHash::Sha1).toHex().left(16));
}

} // namespace

SingleApplication::SingleApplication(const QString& id, int& argc, char** argv)
    : QApplication(argc, argv)
    , appId(id)
    , serverName(instanceKey(id))
{
    const QString lockPath = QDir(QDir::tempPath()).filePath(serverName + QStringLiteral(".lock"));
    const InstanceLock::Result locked = lock.tryLock(lockPath);
    primary = locked == InstanceLock::Result::Acquired;
    if (locked == InstanceLock::Result::Unavailable) {
        // No lock can be had at all (no usable temporary folder, or a file there that is not the
        // user's own), so no other instance of this user holds it: start alone rather than hand over
        // to nobody and end without a word.
        tagged(qWarning(), QStringLiteral("SingleApplication"))
            << "Cannot create the instance lock " << lockPath << " (" << lock.errorString() << "), starting without it";
        primary = true;
    }
    if (!primary) {
        return;
    }

    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left by a crashed instance would make listen() fail.
    QLocalServer::removeServer(serverName);
    server->listen(serverName);
    connect(server, &QLocalServer::newConnection, this, &SingleApplication::onNewConnection);
}

SingleApplication::~SingleApplication()
{
    if (server != nullptr) {
        server->close();
    }
}

bool SingleApplication::isRunning() const
{
    return !primary;
}

QString SingleApplication::id() const
{
    return appId;
}

bool SingleApplication::sendMessage(const QString& message, int timeoutMs)
{
    if (primary) {
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    const auto remaining = [&timer, timeoutMs]() {
        return qMax(0, timeoutMs - int(timer.elapsed()));
    };

    QLocalSocket socket;
    socket.connectToServer(serverName);
    // The first instance may still be starting its server: retry until the time is up.
    while (!socket.waitForConnected(qMin(remaining(), 200))) {
        if (remaining() == 0) {
            return false;
        }
        socket.abort();
        socket.connectToServer(serverName);
    }

    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out << message;
    socket.write(payload);
    if (!socket.waitForBytesWritten(remaining())) {
        return false;
    }
    return socket.waitForReadyRead(remaining()) && socket.read(1) == QByteArray(1, ackReply);
}

void SingleApplication::onNewConnection()
{
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket]() {
            QDataStream in(socket);
            in.startTransaction();
            QString message;
            in >> message;
            if (!in.commitTransaction()) {
                return; // wait for the rest of the message
            }
            socket->write(QByteArray(1, ackReply));
            socket->flush();
            emit messageReceived(message);
        });
    }
}
