#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>

class QSslSocket;

// A small HTTPS/1.1 server on loopback for the client's requests: each path answers with a
// prepared response, complete or misbehaving.
class HttpsTestServer : public QTcpServer
{
    Q_OBJECT

public:
    enum class Mode
    {
        Complete, // status, Content-Length and body, then close
        Stall, // announces more body than it sends and never finishes
        Stream, // no length, streams streamSize bytes of the body pattern, then closes
        Announce, // announces streamSize bytes, sends the body and waits
    };

    struct Response
    {
        int status = 200;
        QByteArray contentType = "application/octet-stream";
        QByteArray body;
        Mode mode = Mode::Complete;
        qint64 streamSize = 0;
    };

    struct Request
    {
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
    };

    HttpsTestServer(const QString& certificateFile, const QString& keyFile, QObject* parent = nullptr);

    bool listenOnLoopback();
    QString hostAndPort() const;

    void setResponse(const QByteArray& path, const Response& response);
    QList<Request> requests() const;
    int openConnections() const;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void onReadyRead(QSslSocket* socket);
    void respond(QSslSocket* socket, const QByteArray& path);

    QSslCertificate certificate;
    QSslKey key;
    QHash<QByteArray, Response> responses;
    QList<Request> received;
    int connections = 0;
};
