// The Linux side of the service check: the service's own socket.
#include "servicepresence.h"

#ifndef Q_OS_WIN

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr quint16 servicePort = 6447;

} // namespace

void checkVpnServiceRunning(QObject* context, const std::function<void(bool)>& done, int timeoutMs)
{
    // Only a connection: the service refuses users outside its group at the handshake, which is
    // not what is asked here.
    auto* socket = new QTcpSocket(context);
    auto* limit = new QTimer(socket);
    limit->setSingleShot(true);
    const auto answer = [socket, done](bool running) {
        if (socket->property("answered").toBool()) {
            return;
        }
        socket->setProperty("answered", true);
        socket->abort();
        socket->deleteLater();
        done(running);
    };
    QObject::connect(socket, &QTcpSocket::connected, socket, [answer] {
        answer(true);
    });
    QObject::connect(socket, &QAbstractSocket::errorOccurred, socket, [answer] {
        answer(false);
    });
    QObject::connect(limit, &QTimer::timeout, socket, [answer] {
        answer(false);
    });
    limit->start(timeoutMs);
    socket->connectToHost(QHostAddress(QHostAddress::LocalHost), servicePort);
}

#endif
