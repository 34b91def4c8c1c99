#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;
class RemoteCommands;

// The running client's local socket for the command line: only this user's own processes are
// heard (the kernel names the peer), each connection carries one request line and gets one reply
// line, then ends. A line too long, malformed or not finished in time gets an error reply.
class RemoteServer : public QObject
{
    Q_OBJECT

public:
    RemoteServer(RemoteCommands* commands, QObject* parent = nullptr);

    // Listens where RemoteSocket names; false, with the reason in the log and in errorString(), when
    // it cannot (another client of this user already listens there, or the folder is not safe).
    bool listen();
    QString errorString() const;

    // A request line must have come whole within this after the connection.
    static constexpr int requestWaitMs = 5000;

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);
    void answer(QLocalSocket* socket, const QByteArray& line);

    RemoteCommands* commands;
    QLocalServer* server;
    QString error;
};
