#include "httpstestserver.h"

#include <QFile>
#include <QHostAddress>
#include <QSslSocket>

#include <memory>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("Cannot read %s", qPrintable(path));
    }
    return file.readAll();
}

QByteArray statusLine(int status)
{
    const QByteArray reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Error";
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
}

} // namespace

HttpsTestServer::HttpsTestServer(const QString& certificateFile, const QString& keyFile, QObject* parent)
    : QTcpServer(parent)
    , certificate(readFile(certificateFile), QSsl::Pem)
    , key(readFile(keyFile), QSsl::Ec, QSsl::Pem)
{
    if (certificate.isNull() || key.isNull()) {
        qFatal("Invalid test certificate or key");
    }
}

bool HttpsTestServer::listenOnLoopback()
{
    return listen(QHostAddress::LocalHost, 0);
}

QString HttpsTestServer::hostAndPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(serverPort());
}

void HttpsTestServer::setResponse(const QByteArray& path, const Response& response)
{
    responses.insert(path, response);
}

QList<HttpsTestServer::Request> HttpsTestServer::requests() const
{
    return received;
}

int HttpsTestServer::openConnections() const
{
    return connections;
}

void HttpsTestServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    ++connections;
    connect(socket, &QSslSocket::disconnected, this, [this, socket]() {
        --connections;
        socket->deleteLater();
    });
    // A client that rejects the certificate just drops the connection.
    connect(socket, qOverload<const QList<QSslError>&>(&QSslSocket::sslErrors), socket, [socket]() {
        socket->abort();
    });
    connect(socket, &QSslSocket::readyRead, this, [this, socket]() {
        onReadyRead(socket);
    });
    socket->setLocalCertificate(certificate);
    socket->setPrivateKey(key);
    socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    socket->startServerEncryption();
}

void HttpsTestServer::onReadyRead(QSslSocket* socket)
{
    QByteArray buffer = socket->property("request").toByteArray() + socket->readAll();
    const int end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty("request", buffer);
        return;
    }
    socket->setProperty("request", QByteArray());
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    Request request;
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.path = requestLine.value(1);
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines.at(i).indexOf(':');
        if (colon > 0) {
            request.headers.insert(lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
        }
    }
    received.append(request);
    respond(socket, request.path);
}

void HttpsTestServer::respond(QSslSocket* socket, const QByteArray& path)
{
    const auto found = responses.constFind(path);
    Response response = found != responses.constEnd() ? found.value() : Response { 404, "text/plain", "no such path" };
    QByteArray head = statusLine(response.status) + "Content-Type: " + response.contentType + "\r\n";

    switch (response.mode) {
    case Mode::Complete:
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\nConnection: close\r\n\r\n";
        socket->write(head + response.body);
        socket->disconnectFromHost();
        break;
    case Mode::Stall:
        head += "Content-Length: " + QByteArray::number(response.body.size() + 1000) + "\r\n\r\n";
        socket->write(head + response.body);
        break;
    case Mode::Announce:
        head += "Content-Length: " + QByteArray::number(response.streamSize) + "\r\n\r\n";
        socket->write(head + response.body);
        break;
    case Mode::Stream: {
        head += "Connection: close\r\n\r\n";
        socket->write(head);
        // Refill as the socket drains, so the stream costs little memory on either side.
        auto remaining = std::make_shared<qint64>(response.streamSize);
        const QByteArray chunk = response.body.repeated(qMax(1, 65536 / qMax(1, response.body.size())));
        auto refill = [socket, remaining, chunk]() {
            if (socket->encryptedBytesToWrite() + socket->bytesToWrite() > 4 * chunk.size()) {
                return;
            }
            if (*remaining <= 0) {
                socket->disconnectFromHost();
                return;
            }
            const QByteArray part = chunk.left(int(qMin<qint64>(chunk.size(), *remaining)));
            *remaining -= part.size();
            socket->write(part);
        };
        connect(socket, &QSslSocket::encryptedBytesWritten, socket, refill);
        refill();
        break;
    }
    }
}
