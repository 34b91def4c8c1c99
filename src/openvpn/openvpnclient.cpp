#include "openvpnclient.h"

#include "deploymentconfig.h"
#include "foundation/logger.h"
#include "foundation/logtag.h"
#include "foundation/utils.h"
#include "managementlink.h"
#include "platform/mtu.h"
#include "platform/programpaths.h"
#include "service/openvpnprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTemporaryFile>
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
// A line end that has not come after this many bytes will not come: the bytes are dropped.
constexpr int maxLineLength = 64 * 1024;

const QString templatePath = QStringLiteral(":/resources/config/general.ovpn");
const QString greetingPrefix = QStringLiteral(">INFO:OpenVPN Management Interface Version ");
// OpenVPN's question for the management password, without a line end; asked again after a wrong one.
const QByteArray passwordPrompt = QByteArrayLiteral("ENTER PASSWORD:");
constexpr int secretBytes = 32;

// The deployment's PEM text as CR LF lines, from the begin marker to the end marker.
// Comment lines and blank lines around the block are left out, as the template brings its own.
QString pemBlock(const char* text, const QString& beginMarker, const QString& endMarker)
{
    const QStringList lines = QString::fromLatin1(text).split(QLatin1Char('\n'));
    QStringList block;
    bool inside = false;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line == beginMarker) {
            inside = true;
            block.clear();
        }
        if (inside && !line.isEmpty()) {
            block << line;
        }
        if (inside && line == endMarker) {
            break;
        }
    }
    return block.join(QStringLiteral("\r\n"));
}

} // namespace

const QString OpenVpnClient::crashMarker = QStringLiteral("CrashExit");

OpenVpnClient::OpenVpnClient(QObject* parent)
    : VpnClient(parent)
    , process(new OpenVpnProcess(this))
    , managementSocket(new ManagementLink(this))
    , retryTimer(new QTimer(this))
    , connectTimer(new QTimer(this))
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
}

QString OpenVpnClient::protocolName(bool udp, bool lowerCase)
{
    const QString name = udp ? QStringLiteral("UDP") : QStringLiteral("TCP");
    return lowerCase ? name.toLower() : name;
}

QString OpenVpnClient::openVpnExecutablePath()
{
    return QDir::toNativeSeparators(ProgramPaths::openVpn());
}

QString OpenVpnClient::additionalDirectives(bool udp, qint32 mtu)
{
    QStringList directives { QStringLiteral("register-dns"), QStringLiteral("dhcp-renew"),
        QStringLiteral("block-outside-dns") };
    if (udp) {
        directives << QStringLiteral("mute-replay-warnings") << QStringLiteral("replay-window 256");
    }
    directives << Mtu::openVpnDirectives(mtu);
    QString block;
    for (const QString& directive : directives) {
        block += directive + QStringLiteral("\r\n");
    }
    return block;
}

QString OpenVpnClient::createConfigFile()
{
    configFile.reset(Utils::createLocalTemporaryFile(templatePath));
    if (!configFile || !configFile->open()) {
        tagged(qCritical(), objectName()) << "OpenVpn config does not exists or empty";
        return QString();
    }

    QString text = QString::fromUtf8(configFile->readAll());
    if (!createManagementSecret()) {
        tagged(qCritical(), objectName()) << "Cannot create the management password file";
        return QString();
    }
    // OpenVPN reads forward slashes on every system; a backslash would be an escape to it.
    QString passwordPath = QDir::fromNativeSeparators(QFileInfo(managementPasswordFile->fileName()).absoluteFilePath());
    if (passwordPath.contains(QLatin1Char(' '))) {
        passwordPath = QLatin1Char('"') + passwordPath + QLatin1Char('"');
    }
    text.replace(QStringLiteral("<MANAGEMENT_PASSWORD_FILE>"), passwordPath);
    text.replace(QStringLiteral("<SERVER>"), server);
    text.replace(QStringLiteral("<PROTOCOL>"), protocolName(udp, true));
    text.replace(QStringLiteral("<PORT>"), QString::number(udp ? 88 : 8080));
    text.replace(QStringLiteral("<ADDITIONAL_DATA>"), additionalDirectives(udp, mtu));
    // The provider's keys come from the deployment the client was built for.
    text.replace(QStringLiteral("<TLS_CRYPT_KEY>"),
        pemBlock(Deployment::openVpnTlsCryptKey, QStringLiteral("-----BEGIN OpenVPN Static key V1-----"),
            QStringLiteral("-----END OpenVPN Static key V1-----")));
    text.replace(QStringLiteral("<CA_CERTIFICATE>"),
        pemBlock(Deployment::openVpnCaPem, QStringLiteral("-----BEGIN CERTIFICATE-----"),
            QStringLiteral("-----END CERTIFICATE-----")));

    configFile->seek(0);
    configFile->resize(0);
    configFile->write(text.toLatin1());
    configFile->flush();
    return QFileInfo(configFile->fileName()).absoluteFilePath();
}

bool OpenVpnClient::createManagementSecret()
{
    QByteArray random(secretBytes, '\0');
    QRandomGenerator::system()->generate(random.begin(), random.end());
    managementSecret = random.toHex();
    // Created for this user alone (0600; on Windows in the user's own temporary folder); only the
    // service reads it besides the client.
    managementPasswordFile
        = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/vpn-management-XXXXXX"));
    return managementPasswordFile->open()
        && managementPasswordFile->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        && managementPasswordFile->write(managementSecret + '\n') == managementSecret.size() + 1
        && managementPasswordFile->flush();
}

bool OpenVpnClient::start()
{
    errorText.clear();
    stop();
    // The socket may still be the ended run's for a moment: a stop of the new run before its own
    // dialogue began must go to the service, not to the old OpenVPN.
    managementGreeted = false;

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
    assignedIp.clear();

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
        if (managementSocket->isConnected() && managementGreeted) {
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
    pendingLine.clear();
    discardingLine = false;
    managementPasswordSent = false;
    managementGreeted = false;
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
        consumeManagementData(managementSocket->readAll());
    }
}

void OpenVpnClient::consumeManagementData(const QByteArray& data)
{
    pendingLine += data;
    int start = 0;
    for (;;) {
        const int end = pendingLine.indexOf('\n', start);
        if (end < 0) {
            break;
        }
        if (discardingLine) {
            // The rest of an overlong line: its head is gone, so its tail means nothing.
            discardingLine = false;
        } else {
            const QString line = QString::fromUtf8(pendingLine.constData() + start, end - start).simplified();
            if (!line.isEmpty()) {
                handleLine(line);
            }
        }
        start = end + 1;
    }
    pendingLine.remove(0, start);
    if (pendingLine == passwordPrompt && !discardingLine) {
        pendingLine.clear();
        answerPasswordPrompt();
    } else if (pendingLine.size() > maxLineLength) {
        tagged(qWarning(), objectName()) << logPrefix << "Line longer than " << maxLineLength << " bytes dropped";
        pendingLine.clear();
        discardingLine = true;
    }
}

void OpenVpnClient::answerPasswordPrompt()
{
    // The prompt again: this OpenVPN was not started with this run's secret. Trying again would
    // only tell the secret to whoever listens.
    if (managementPasswordSent) {
        tagged(qWarning(), objectName()) << logPrefix << "Management password refused";
        managementSocket->abort();
        return;
    }
    managementPasswordSent = true;
    writeToManagement(managementSecret + '\n');
    tagged(qInfo(), objectName()) << logPrefix << "Sent management password: ***";
}

void OpenVpnClient::onManagementDisconnected()
{
    // The last line may come without a line end just before OpenVPN closes the socket.
    parseDataFromManagementInterface();
    const QString line = QString::fromUtf8(pendingLine).simplified();
    pendingLine.clear();
    if (!line.isEmpty() && !discardingLine) {
        handleLine(line);
    }
}

void OpenVpnClient::handleLine(const QString& line)
{
    if (!line.contains(QLatin1String(">BYTECOUNT"))) {
        tagged(qInfo(), objectName()) << logPrefix << line;
    }

    if (isGreeting(line)) {
        managementGreeted = true;
        writeToManagement(QByteArrayLiteral("state on\n"));
        tagged(qInfo(), objectName()) << logPrefix << "Send 'state on'";
        writeToManagement(QByteArrayLiteral("log on\n"));
        tagged(qInfo(), objectName()) << logPrefix << "Send 'log on'";
    } else if (line.startsWith(QLatin1String(">PASSWORD:Need 'Auth' username/password"))) {
        sendUserName();
        sendPassword();
    } else if (line.contains(QLatin1String("MANAGEMENT")) && line.contains(QLatin1String("STATE"))
        && line.contains(QLatin1String("AUTH"))) {
        tagged(qInfo(), objectName()) << "Auth passed";
    } else if (line.startsWith(QLatin1String(">PASSWORD:Verification Failed"))) {
        errorText = tr("Error: Wrong Username/Password");
        tagged(qCritical(), objectName()) << errorText;
        connectTimer->stop();
        emit failed(CredentialsRejected);
        setState(Error, errorText, true);
    } else if (parsePushReply(line) || parseAssignIp(line)) {
        return;
    } else if (line.contains(connectedMarker)) {
        Logger::separator(objectName(), connectedMarker);
        writeToManagement(QByteArrayLiteral("bytecount 1\n"));
        tagged(qInfo(), objectName()) << logPrefix << "Send 'bytecount'";
        connectTimer->stop();
        setState(Connected, QString(), false);
        return;
    }
    parseByteCount(line);
}

bool OpenVpnClient::isGreeting(const QString& line) const
{
    // Any version: OpenVPN 2.5 and later announce versions above 1.
    const int at = line.indexOf(greetingPrefix);
    if (at < 0) {
        return false;
    }
    const int versionAt = at + greetingPrefix.size();
    return versionAt < line.size() && line.at(versionAt).isDigit();
}

QString OpenVpnClient::escapedForManagement(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return escaped;
}

void OpenVpnClient::sendUserName()
{
    // Quoted and escaped like the password: a blank in the name would otherwise split the command.
    writeToManagement(QStringLiteral("username 'Auth' \"%1\"\n").arg(escapedForManagement(userName)).toUtf8());
    tagged(qInfo(), objectName()) << logPrefix << "Sent username: " << userName;
}

void OpenVpnClient::sendPassword()
{
    writeToManagement(QStringLiteral("password 'Auth' \"%1\"\n").arg(escapedForManagement(password)).toUtf8());
    tagged(qInfo(), objectName()) << logPrefix << "Sent password: ***";
}

bool OpenVpnClient::parsePushReply(const QString& line)
{
    const QString marker = QStringLiteral("PUSH_REPLY");
    const int at = line.indexOf(marker);
    if (at < 0) {
        return false;
    }
    QString reply = line.mid(at + marker.size()).simplified();
    if (reply.endsWith(QLatin1Char('\''))) {
        reply.chop(1);
    }
    extractDnsServers(splitPushOptions(reply));
    return true;
}

QStringList OpenVpnClient::splitPushOptions(const QString& reply) const
{
    return reply.split(QLatin1Char(','), Qt::SkipEmptyParts);
}

void OpenVpnClient::extractDnsServers(const QStringList& options)
{
    const QString dnsOption = QStringLiteral("dhcp-option DNS");
    QString ipv4;
    QString ipv6;
    for (const QString& option : options) {
        if (!option.startsWith(dnsOption)) {
            continue;
        }
        // The address goes to the DNS tool: only its canonical form, never what merely parses.
        const QString candidate = Utils::canonicalAddress(option.mid(dnsOption.size()).trimmed());
        if (Utils::isIpv4Address(candidate)) {
            ipv4 = candidate;
        } else if (Utils::isIpv6Address(candidate)) {
            ipv6 = candidate;
        }
    }
    // A push of one family applies that family alone.
    if (ipv4.isEmpty() && ipv6.isEmpty()) {
        return;
    }
    tagged(qInfo(), objectName())
        << QStringLiteral("Parsed 'PUSH_REPLY' (dhcp-option DNS), IPv4: %1, IPv6: %2").arg(ipv4, ipv6);
    emit dnsServerAddressesPushed(ipv4, ipv6);
}

bool OpenVpnClient::parseAssignIp(const QString& line)
{
    if (!assignedIp.isEmpty()) {
        return false;
    }
    if (!line.contains(QLatin1String("ASSIGN_IP")) || !line.contains(QLatin1String(">STATE"))
        || line.contains(QLatin1String("MANAGEMENT"))) {
        return false;
    }
    const QString warning = QStringLiteral("Cannot parse ASSIGN_IP line");
    const int begin = line.indexOf(QLatin1String(",,"));
    if (begin < 0) {
        tagged(qWarning(), objectName()) << warning;
        return false;
    }
    const int from = begin + 2;
    const int end = line.indexOf(QLatin1String(",,,,"));
    QString address;
    if (end < 0) {
        tagged(qWarning(), objectName()) << warning;
        address = line.mid(from);
    } else if (end >= from) {
        address = line.mid(from, end - from);
    }
    // An empty field (",,,," right after "ASSIGN_IP") carries no address.
    if (address.isEmpty() || QHostAddress(address).isNull()) {
        tagged(qWarning(), objectName()) << warning;
        return false;
    }
    assignedIp = address;
    tagged(qInfo(), objectName()) << QStringLiteral("Parsed 'ASSIGN_IP': %1").arg(address);
    emit assignedInternalIp(address);
    return true;
}

void OpenVpnClient::parseByteCount(const QString& line)
{
    const QString marker = QStringLiteral(">BYTECOUNT:");
    const int at = line.lastIndexOf(marker);
    if (at < 0) {
        return;
    }
    const QStringList fields = line.mid(at + marker.size()).split(QLatin1Char(','));
    if (fields.size() < 2) {
        return;
    }
    bool receivedOk = false;
    bool sentOk = false;
    const quint64 received = fields.at(0).trimmed().toULongLong(&receivedOk);
    const quint64 sent = fields.at(1).trimmed().toULongLong(&sentOk);
    // A counter that does not read as a number is left out rather than reported as zero.
    if (!receivedOk || !sentOk) {
        return;
    }
    bytesReceived = received;
    bytesSent = sent;
    emit byteCountChanged(bytesReceived, bytesSent);
}

void OpenVpnClient::writeToManagement(const QByteArray& data)
{
    managementSocket->write(data);
}

void OpenVpnClient::setState(State newState, const QString& additionalData, bool critical)
{
    state = newState;
    emit stateChanged(state, additionalData, critical);
}
