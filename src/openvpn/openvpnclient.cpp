#include "openvpnclient.h"

#include "clientconfig.h"
#include "foundation/logger.h"
#include "foundation/logtag.h"
#include "foundation/utils.h"
#include "managementdialogue.h"
#include "managementlink.h"
#include "platform/programpaths.h"
#include "service/openvpnprocess.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace {

const QString managementHost = QStringLiteral("127.0.0.1");
constexpr int connectionWaitMs = 30000;
constexpr int maxConnectAttempts = 30;
// OpenVPN opens its management port a few milliseconds after it starts, so the first retries come
// quickly (doubling from 10 ms); the rest are spread evenly so that the thirty attempts still span
// about 29 s, as they did a second apart.
constexpr int firstRetryDelayMs = 10;
constexpr int promptRetries = 6;
constexpr int attemptSpanMs = 29000;

} // namespace

const QString OpenVpnClient::crashMarker = QStringLiteral("CrashExit");

OpenVpnClient::OpenVpnClient(ServiceLink* link, QObject* parent)
    : VpnClient(parent)
    , process(new OpenVpnProcess(link, this))
    , managementSocket(new ManagementLink(this))
    , retryTimer(new QTimer(this))
    , connectTimer(new QTimer(this))
    , dialogue(new ManagementDialogue(managementSocket, QStringLiteral("OpenVpnClient"), this))
    , config(std::make_unique<ClientConfig>())
{
    setObjectName(QStringLiteral("OpenVpnClient"));
    retryTimer->setSingleShot(true);
    connectTimer->setSingleShot(true);
    connectTimer->setInterval(defaultConnectTimeoutMs);
    connect(retryTimer, &QTimer::timeout, this, &OpenVpnClient::connectToManagementInterface);
    connect(connectTimer, &QTimer::timeout, this, &OpenVpnClient::onConnectTimeout);
    connect(process, &OpenVpnProcess::started, this, &OpenVpnClient::onOpenVpnProcessStarted);
    connect(process, &OpenVpnProcess::finished, this, &OpenVpnClient::onOpenVpnProcessFinished);
    connect(process, &OpenVpnProcess::error, this, &OpenVpnClient::onOpenVpnProcessRefused);
    connect(process, &OpenVpnProcess::lost, this, &OpenVpnClient::onServiceLost);
    connect(process, &OpenVpnProcess::replacedRunFinished, this, [this](int exitCode) {
        // The service ends a running OpenVPN before it starts the next one: that end is no news.
        tagged(qInfo(), objectName()) << "Replaced process finished with code: " << exitCode;
    });
    connect(managementSocket, &ManagementLink::readyRead, this, &OpenVpnClient::parseDataFromManagementInterface);
    connect(managementSocket, &ManagementLink::disconnected, this, &OpenVpnClient::onManagementDisconnected);
    connect(dialogue, &ManagementDialogue::credentialsRejected, this, &OpenVpnClient::onCredentialsRejected);
    connect(dialogue, &ManagementDialogue::tunnelUp, this, &OpenVpnClient::onTunnelUp);
    connect(dialogue, &ManagementDialogue::assignedIp, this, &VpnClient::assignedInternalIp);
    connect(dialogue, &ManagementDialogue::dnsServersPushed, this, &VpnClient::dnsServerAddressesPushed);
    connect(dialogue, &ManagementDialogue::byteCountChanged, this, &VpnClient::byteCountChanged);
}

OpenVpnClient::~OpenVpnClient()
{
    destroying = true;
    if (process->state() == ProcessState::Running) {
        stop();
    }
    // The socket goes with the children, after this object has stopped being an OpenVpnClient.
    managementSocket->disconnect(this);
    retryTimer->stop();
    connectTimer->stop();
}

void OpenVpnClient::setServer(const QString& server, bool udp)
{
    this->server = server;
    this->udp = udp;
}

void OpenVpnClient::setConnectTimeout(int milliseconds)
{
    connectTimer->setInterval(milliseconds);
}

void OpenVpnClient::setMtu(qint32 mtu)
{
    this->mtu = mtu;
}

void OpenVpnClient::setCredentials(const QString& userName, const QString& password)
{
    this->userName = userName;
    this->password = password;
    dialogue->setCredentials(userName, password);
}

QString OpenVpnClient::protocolName(bool udp, bool lowerCase)
{
    return ClientConfig::protocolName(udp, lowerCase);
}

QString OpenVpnClient::openVpnExecutablePath()
{
    return QDir::toNativeSeparators(ProgramPaths::openVpn());
}

QString OpenVpnClient::createConfigFile()
{
    QString failure;
    const QString path = config->write(server, udp, mtu, &failure);
    if (path.isEmpty()) {
        tagged(qCritical(), objectName()) << failure;
    }
    dialogue->setManagementSecret(config->managementSecret());
    return path;
}

bool OpenVpnClient::start()
{
    errorText.clear();
    stop();
    // The socket may still be the ended run's for a moment: a stop of the new run before its own
    // dialogue began must go to the service, not to the old OpenVPN.
    dialogue->restart();

    if (server.isEmpty()) {
        errorText = tr("OpenVPN server is empty!");
        tagged(qCritical(), objectName()) << errorText;
        setState(Error, errorText, false);
        return false;
    }

    const QString program = openVpnExecutablePath();
    if (!QFileInfo::exists(program)) {
        errorText = QStringLiteral("OpenVPN executable '%1' does not exists").arg(program);
        tagged(qCritical(), objectName()) << errorText;
        setState(Error, errorText, false);
        return false;
    }

    // A line break would end the management command early and let the rest act as a command of its own.
    const auto hasLineBreak = [](const QString& text) {
        return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
    };
    if (hasLineBreak(userName) || hasLineBreak(password)) {
        errorText = tr("Error: Username or password contains a line break");
        tagged(qCritical(), objectName()) << errorText;
        setState(Error, errorText, true);
        return false;
    }

    QStringList arguments;
    arguments << program << QStringLiteral("--config") << createConfigFile()
              << QStringLiteral("--management-query-passwords") << QStringLiteral("--log-append");
    const QString vpnLogFile = Logger::instance()->vpnLogFilePath();
    Utils::createEmptyFile(vpnLogFile);
    arguments << vpnLogFile;

    stopRequested = false;
    dialogue->forgetAddress();

    Logger::separator(objectName(), QStringLiteral("Start connection"));
    tagged(qInfo(), objectName()) << "Start OpenVPN with args: (" << arguments.join(QStringLiteral(", ")) << ")";

    process->start(arguments);
    connectTimer->start();

    setState(Connecting, QString(), false);
    return true;
}

bool OpenVpnClient::stop()
{
    stopRequested = true;
    endRun();
    setState(Disconnected, errorText, false);
    return true;
}

void OpenVpnClient::endRun()
{
    connectTimer->stop();
    const int processState = process->state();
    if (processState == ProcessState::Starting || processState == ProcessState::Running) {
        if (managementSocket->isConnected() && dialogue->isGreeted()) {
            const qint64 written = managementSocket->write(QByteArrayLiteral("signal SIGTERM\r\n"));
            tagged(qInfo(), objectName()) << "Send TERM signal, status: " << Utils::boolToString(written > 0);
            if (written <= 0) {
                process->killOpenVpn();
            }
        } else {
            process->killOpenVpn();
        }
    }
}

void OpenVpnClient::onOpenVpnProcessFinished(int exitCode)
{
    if (destroying) {
        return;
    }
    tagged(qInfo(), objectName()) << "Process finished with code: " << exitCode;
    // The ended OpenVPN will not open its port; a new start begins its own attempts.
    retryTimer->stop();
    // Whatever the code: an end nobody asked for is a loss, which the controller may retry. A run
    // that already failed (rejected credentials, a time-out) was reported then.
    if (!stopRequested && state != Error) {
        reportUnexpectedEnd();
    }
    emit processFinished(exitCode);
}

void OpenVpnClient::reportUnexpectedEnd()
{
    errorText = crashMarker;
    stop();
}

void OpenVpnClient::onOpenVpnProcessRefused(int code)
{
    if (destroying || stopRequested) {
        return;
    }
    errorText = tr("OpenVPN could not be started (code %1)").arg(code);
    tagged(qCritical(), objectName()) << errorText;
    stopRequested = true;
    connectTimer->stop();
    setState(Error, errorText, false);
}

void OpenVpnClient::onServiceLost()
{
    if (destroying || stopRequested) {
        return;
    }
    // The service ends OpenVPN when it goes; no "finished:" line will tell.
    tagged(qWarning(), objectName()) << "Service link lost while OpenVPN was running";
    retryTimer->stop();
    managementSocket->abort();
    reportUnexpectedEnd();
}

void OpenVpnClient::onConnectTimeout()
{
    errorText = tr("The VPN server did not answer in time");
    tagged(qWarning(), objectName()) << errorText;
    stopRequested = true;
    endRun();
    emit failed(ServerSilent);
    setState(Error, errorText, false);
}

void OpenVpnClient::onOpenVpnProcessStarted()
{
    // One chain of attempts at a time, even when OpenVPN is restarted while one is pending.
    retryTimer->stop();
    if (stopRequested) {
        // Stopped before the service reported it running: the kill sent then may have come before
        // this run began, and nobody must bring it up now.
        tagged(qInfo(), objectName()) << "OpenVPN started after its stop, ending it";
        process->killOpenVpn();
        return;
    }
    connectAttempts = 0;
    connectToManagementInterface();
}

int OpenVpnClient::retryDelayMs(int failedAttempts)
{
    if (failedAttempts <= promptRetries) {
        return firstRetryDelayMs << (failedAttempts - 1);
    }
    const int promptSpanMs = firstRetryDelayMs * ((1 << promptRetries) - 1);
    return (attemptSpanMs - promptSpanMs) / (maxConnectAttempts - 1 - promptRetries);
}

bool OpenVpnClient::connectToManagementInterface()
{
    // A socket left from an earlier OpenVPN run must not carry the new dialogue.
    managementSocket->abort();
    dialogue->restart();
    // Whoever listens here is asked for the secret and the VPN credentials next: only OpenVPN
    // under the service (the system's account) or this user's own program may hear them, never
    // another user who took the endpoint first.
    QString holder;
    if (managementSocket->open(
            process->managementEndpoint(), managementHost, managementPort, connectionWaitMs, &holder)) {
        tagged(qInfo(), objectName()) << "Connected to management interface";
        return true;
    }
    if (!holder.isEmpty()) {
        tagged(qWarning(), objectName()) << "Management interface held by another user (" << holder
                                         << "), not answering";
    }
    ++connectAttempts;
    if (connectAttempts < maxConnectAttempts) {
        retryTimer->start(retryDelayMs(connectAttempts));
    } else {
        tagged(qWarning(), objectName()) << "Can't connect to management interface";
    }
    return false;
}

void OpenVpnClient::parseDataFromManagementInterface()
{
    // Also called on the drop of a socket this client closed itself, which has nothing left to read.
    if (managementSocket->isOpen()) {
        dialogue->consume(managementSocket->readAll());
    }
}

void OpenVpnClient::onManagementDisconnected()
{
    parseDataFromManagementInterface();
    dialogue->finish();
}

void OpenVpnClient::onCredentialsRejected()
{
    errorText = tr("Error: Wrong Username/Password");
    tagged(qCritical(), objectName()) << errorText;
    connectTimer->stop();
    emit failed(CredentialsRejected);
    setState(Error, errorText, true);
}

void OpenVpnClient::onTunnelUp()
{
    connectTimer->stop();
    setState(Connected, QString(), false);
}

void OpenVpnClient::setState(State newState, const QString& additionalData, bool critical)
{
    state = newState;
    emit stateChanged(state, additionalData, critical);
}
