#include "remotecall.h"

#include "platform/remotesocket.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

using RemoteProtocol::Outcome;
using RemoteProtocol::reply;
using RemoteProtocol::Word;

namespace {

// The client beside this program, where the package and the build both put it.
QString clientProgram()
{
#ifdef Q_OS_WIN
    return QCoreApplication::applicationDirPath() + QStringLiteral("/vpnclient.exe");
#else
    return QCoreApplication::applicationDirPath() + QStringLiteral("/vpnclient");
#endif
}

bool reach(QLocalSocket* socket, const QString& name, QLocalSocket::LocalSocketError* error = nullptr)
{
    socket->connectToServer(name);
    if (socket->waitForConnected(RemoteCall::connectMs)) {
        return true;
    }
    if (error != nullptr) {
        *error = socket->error();
    }
    socket->abort();
    return false;
}

// Starts the client in the tray and waits for its socket.
bool startClient(QLocalSocket* socket, const QString& name, QJsonObject* failure)
{
    if (!QProcess::startDetached(clientProgram(), { QStringLiteral("--hidden") })) {
        *failure = reply(Outcome::Failed, QStringLiteral("the client %1 could not be started").arg(clientProgram()));
        return false;
    }
    const QDeadlineTimer deadline(RemoteCall::clientStartMs);
    while (!deadline.hasExpired()) {
        if (reach(socket, name)) {
            return true;
        }
        QThread::msleep(100);
    }
    *failure = reply(Outcome::TimedOut, QStringLiteral("the client started but did not answer in time"));
    return false;
}

} // namespace

int RemoteCall::answerMs(Word word)
{
    switch (word) {
    case Word::Connect:
        return 90 * 1000;
    case Word::Disconnect:
    case Word::Locations:
    case Word::Report:
        return 45 * 1000;
    default:
        return 10 * 1000;
    }
}

QJsonObject RemoteCall::run(const RemoteProtocol::Request& request)
{
    const RemoteSocket::Place place = RemoteSocket::place();
    if (place.name.isEmpty()) {
        return reply(Outcome::Failed, place.error);
    }
    QLocalSocket socket;
    QLocalSocket::LocalSocketError error = QLocalSocket::UnknownSocketError;
    if (!reach(&socket, place.name, &error)) {
        if (error == QLocalSocket::SocketAccessError) {
            return reply(Outcome::NotAllowed, QStringLiteral("%1 is not yours to use").arg(place.name));
        }
        if (request.word != Word::Connect) {
            return reply(Outcome::Failed, QStringLiteral("the client is not running (\"korvex connect\" starts it)"));
        }
        QJsonObject failure;
        if (!startClient(&socket, place.name, &failure)) {
            return failure;
        }
    }
    // The socket's folder is the user's own; the kernel confirms that the listener is too.
    QString reason;
    if (!RemoteSocket::peerIsSelf(socket.socketDescriptor(), &reason)) {
        return reply(Outcome::NotAllowed, QStringLiteral("the socket is not your own client's: %1").arg(reason));
    }
    socket.write(RemoteProtocol::requestLine(request.word, request.arguments));
    socket.waitForBytesWritten(connectMs);
    const QDeadlineTimer deadline(answerMs(request.word));
    QByteArray received;
    while (!received.contains('\n')) {
        if (received.size() > RemoteProtocol::maxReplyLength) {
            return reply(Outcome::Failed, QStringLiteral("the client's answer is too long"));
        }
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            if (socket.state() != QLocalSocket::ConnectedState) {
                return reply(Outcome::Failed, QStringLiteral("the client stopped before it answered"));
            }
            if (deadline.hasExpired()) {
                return reply(Outcome::TimedOut, QStringLiteral("the client did not answer in time"));
            }
        }
        received += socket.read(RemoteProtocol::maxReplyLength + 2 - received.size());
    }
    QJsonObject answer;
    QString unreadable;
    if (!RemoteProtocol::parseReply(received.left(received.indexOf('\n')), &answer, &unreadable)) {
        return reply(Outcome::Failed, unreadable);
    }
    return answer;
}
