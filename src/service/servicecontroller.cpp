#include "servicecontroller.h"

#include "foundation/logtag.h"
#include "platform/servicepresence.h"
#include "protocol/serviceprotocol.h"
#include "service/servicemessage.h"

#include <QTimer>
#include <QUrl>
#include <QWebSocket>

ServiceController::ServiceController(QObject* parent)
    : ServiceLink(parent)
{
    setObjectName(QStringLiteral("ServiceController"));

    checkTimer = new QTimer(this);
    checkTimer->setInterval(checkInterval);
    connect(checkTimer, &QTimer::timeout, this, &ServiceController::checkConnectionTimer);

    initialize();
    if (!linkUp) {
        checkTimer->start();
    }
}

ServiceController::~ServiceController()
{
    // The socket goes with us; its teardown is not a lost link.
    if (socket != nullptr) {
        socket->disconnect(this);
    }
}

bool ServiceController::isLinkUp() const
{
    return linkUp;
}

void ServiceController::initialize()
{
    linkUp = false;
    messageHandlerAttached = false;
    socket = new QWebSocket(QString(), QWebSocketProtocol::Version13, this);

    connect(socket, &QWebSocket::connected, this, &ServiceController::onConnected, Qt::DirectConnection);
    connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this,
        &ServiceController::onWebSocketError, Qt::DirectConnection);
    QTimer::singleShot(checkInterval, this, &ServiceController::sendInitialConnectionStatus);
    connect(socket, &QWebSocket::disconnected, this, &ServiceController::onDisconnected, Qt::DirectConnection);

    openSocket();
}

void ServiceController::openSocket()
{
    // Commands carry file paths and its answers steer the tunnel: another user who took the port
    // while the service was away hears nothing. (With nobody there the attempt fails as usual.)
    QString holder;
    if (servicePortHolder(static_cast<quint16>(servicePort), &holder) == PortHolder::Other) {
        tagged(qInfo(), objectName()) << "Not connecting: 127.0.0.1:" << servicePort << " is not the service's ("
                                      << holder << ")";
        reportInitialStatus();
        return;
    }
    socket->open(QUrl(QStringLiteral("ws://%1:%2").arg(QStringLiteral("127.0.0.1")).arg(servicePort)));
}

void ServiceController::checkConnectionTimer()
{
    if (linkUp) {
        return;
    }
    tagged(qInfo(), objectName()) << "Reopen connection";
    socket->abort();
    openSocket();
}

void ServiceController::onConnected()
{
    // Asked before, the listener may since have changed hands: nothing of ours goes to another user
    // who took the port, whoever answered the handshake.
    QString holder;
    if (serviceConnectionHolder(socket->localPort(), socket->peerPort(), &holder) != PortHolder::Service) {
        tagged(qWarning(), objectName()) << "Dropping the connection: 127.0.0.1:" << socket->peerPort()
                                         << " is not the service's (" << holder << ")";
        socket->abort();
        return;
    }
    tagged(qInfo(), objectName()) << "Connected to vpn-service";
    linkUp = true;
    // Nothing to check while the link is up: its loss is reported by the socket.
    checkTimer->stop();

    // Attached once per socket, so that a reconnection does not deliver a message twice.
    if (!messageHandlerAttached) {
        connect(socket, &QWebSocket::textMessageReceived, this, &ServiceController::onTextMessageReceived,
            Qt::DirectConnection);
        messageHandlerAttached = true;
    }

    if (!initSent) {
        writeMessage(ServiceProtocol::init);
        initSent = true;
    }

    while (!pendingCommands.isEmpty()) {
        const QString command = pendingCommands.head();
        tagged(qInfo(), objectName()) << "Save data in buffer: " << command;
        writeMessage(command);
        pendingCommands.dequeue();
    }

    reportInitialStatus();
    emit connected();
}

void ServiceController::onDisconnected()
{
    if (!linkUp) {
        return;
    }
    tagged(qCritical(), objectName()) << "Connection lost";
    linkUp = false;
    checkTimer->start();
    if (!socket->isValid()) {
        socket->abort();
    }
    emit disconnected();
}

void ServiceController::onWebSocketError(QAbstractSocket::SocketError error)
{
    Q_UNUSED(error)
    tagged(qInfo(), objectName()) << "Web socket error: " << socket->errorString();
    reportInitialStatus();
}

void ServiceController::sendInitialConnectionStatus()
{
    reportInitialStatus();
}

void ServiceController::reportInitialStatus()
{
    if (initialStatusReported) {
        return;
    }
    initialStatusReported = true;
    emit initialConnectionStatusChanged();
}

void ServiceController::sendCommand(const QString& command)
{
    if (command.isEmpty()) {
        tagged(qInfo(), objectName()) << "Invalid command";
        return;
    }
    if (linkUp && socket->isValid()) {
        writeMessage(command);
        return;
    }
    pendingCommands.enqueue(command);
    tagged(qInfo(), objectName()) << "Invalid socked, data will be bufferedd: " << command;
}

void ServiceController::sendInitCommand()
{
    writeMessage(ServiceProtocol::init);
}

void ServiceController::writeMessage(const QString& text)
{
    tagged(qInfo(), objectName()) << "Send data: [" << text << "]";
    socket->sendTextMessage(text);
    // Out at once: the last commands of a quitting client must not wait for an event loop.
    socket->flush();
}

void ServiceController::onTextMessageReceived(const QString& message)
{
    const QString text = message.left(message.size() - 1);
    tagged(qInfo(), objectName()) << "Received data: [" << text.simplified() << "]";
    if (text.isEmpty()) {
        return;
    }
    emit processOutput(text);
    const ServiceMessage status = ServiceMessage::parse(text);
    if (status.kind == ServiceMessage::Finished && status.processName == ServiceProtocol::initName && !initAnswered) {
        initAnswered = true;
        emit initialized();
    }
}

bool ServiceController::isInitialized() const
{
    return initAnswered;
}
