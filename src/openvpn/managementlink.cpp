#include "managementlink.h"

#include "foundation/socketowner.h"

#include <QLocalSocket>
#include <QTcpSocket>

ManagementLink::ManagementLink(QObject* parent)
    : QObject(parent)
    , tcp(new QTcpSocket(this))
    , local(new QLocalSocket(this))
{
    for (QIODevice* device : { static_cast<QIODevice*>(tcp), static_cast<QIODevice*>(local) }) {
        connect(device, &QIODevice::readyRead, this, [this, device] {
            if (device == current) {
                emit readyRead();
            }
        });
    }
    connect(tcp, &QTcpSocket::disconnected, this, [this] {
        if (current == tcp) {
            emit disconnected();
        }
    });
    connect(local, &QLocalSocket::disconnected, this, [this] {
        if (current == local) {
            emit disconnected();
        }
    });
}

bool ManagementLink::open(const QString& socketPath, const QString& host, quint16 port, int waitMs, QString* refusal)
{
    abort();
    SocketOwner owner;
    if (socketPath.isEmpty()) {
        current = tcp;
        tcp->connectToHost(host, port, QIODevice::ReadWrite);
        if (!tcp->waitForConnected(waitMs)) {
            abort();
            return false;
        }
        owner = SocketOwner::ofPeer(tcp->socketDescriptor());
    } else {
        current = local;
        local->connectToServer(socketPath, QIODevice::ReadWrite);
        if (!local->waitForConnected(waitMs)) {
            abort();
            return false;
        }
        owner = SocketOwner::ofLocalPeer(local->socketDescriptor());
    }
    if (owner.isSystemOrSelf()) {
        return true;
    }
    *refusal = owner.known ? owner.id : owner.reason;
    abort();
    return false;
}

bool ManagementLink::isConnected() const
{
    return (current == tcp && tcp->state() == QAbstractSocket::ConnectedState)
        || (current == local && local->state() == QLocalSocket::ConnectedState);
}

bool ManagementLink::isOpen() const
{
    return current != nullptr && current->isOpen();
}

void ManagementLink::abort()
{
    // Drops of a socket closed here are no news.
    current = nullptr;
    tcp->abort();
    local->abort();
}

qint64 ManagementLink::write(const QByteArray& data)
{
    if (current == nullptr) {
        return -1;
    }
    const qint64 written = current->write(data);
    if (current == tcp) {
        tcp->flush();
    } else {
        local->flush();
    }
    return written;
}

QByteArray ManagementLink::readAll()
{
    return current != nullptr ? current->readAll() : QByteArray();
}
