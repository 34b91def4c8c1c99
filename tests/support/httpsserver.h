#pragma once

#include "testkit.h"

#include <QHash>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QStringList>
#include <QTcpServer>

// HTTPS on loopback for the tests of the provider API client and of the windows that show its data.

inline QByteArray readData(const QString& name)
{
    return readBytes(QStringLiteral(VPN_TEST_DATA_DIR "/servers/") + name);
}

struct Response
{
    int status = 200;
    QByteArray body;
    qint64 length = -1; // Content-Length sent: -1 the body's, -2 none (ends with the connection)
    int repeat = 1; // copies of the body sent
};

// HTTPS/1.1 on loopback with a test certificate. A response that announces more than it sends never ends.
class HttpsServer : public QTcpServer
{
public:
    explicit HttpsServer(const QString& name)
        : certificate(readData(name + ".pem"))
        , key(readData(name + ".key"), QSsl::Ec)
    {
        listen(QHostAddress::LocalHost);
    }
    QHash<QByteArray, Response> responses;
    QStringList requests; // request heads, in arrival order

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QSslSocket(this);
        socket->setSocketDescriptor(descriptor);
        socket->setLocalCertificate(certificate);
        socket->setPrivateKey(key);
        connect(socket, &QSslSocket::readyRead, this, [this, socket] {
            const QByteArray head = socket->property("head").toByteArray() + socket->readAll();
            socket->setProperty("head", head);
            if (!head.contains("\r\n\r\n")) {
                return;
            }
            requests.append(QString::fromLatin1(head));
            const Response r = responses.value(head.split(' ').value(1), Response { 404, "no such path" });
            const QByteArray body = r.body.repeated(r.repeat);
            const qint64 length = r.length == -1 ? body.size() : r.length;
            socket->write("HTTP/1.1 " + QByteArray::number(r.status) + " X\r\nConnection: close\r\n"
                + (length >= 0 ? "Content-Length: " + QByteArray::number(length) + "\r\n" : QByteArray()) + "\r\n"
                + body);
            if (length < 0 || length == body.size()) {
                socket->disconnectFromHost();
            }
        });
        socket->startServerEncryption();
    }

private:
    QSslCertificate certificate;
    QSslKey key;
};
