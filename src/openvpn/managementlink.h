#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QIODevice;
class QLocalSocket;
class QTcpSocket;

// The client's connection to OpenVPN's management interface: the Unix socket the service named
// for the run (Linux: in the run's private folder, opened to this user alone), or else loopback
// TCP (Windows). Only a peer of the system's account or of this user counts as connected: whoever
// else listens would hear the management secret and the VPN credentials.
class ManagementLink : public QObject
{
    Q_OBJECT

public:
    explicit ManagementLink(QObject* parent = nullptr);

    // Waits up to waitMs. An empty socket path means host and port. False with the reason in
    // refusal when the peer is another user's (the link is closed then).
    bool open(const QString& socketPath, const QString& host, quint16 port, int waitMs, QString* refusal);
    bool isConnected() const;
    bool isOpen() const;
    void abort();
    // Written and flushed at once; the number of bytes written, or -1.
    qint64 write(const QByteArray& data);
    QByteArray readAll();

signals:
    void readyRead();
    void disconnected();

private:
    QTcpSocket* tcp = nullptr;
    QLocalSocket* local = nullptr;
    QIODevice* current = nullptr;
};
