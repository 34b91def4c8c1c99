#include "managementdialogue.h"

#include "foundation/logger.h"
#include "foundation/logtag.h"
#include "foundation/utils.h"
#include "managementlink.h"

#include <QHostAddress>

namespace {

// A line end that has not come after this many bytes will not come: the bytes are dropped.
constexpr int maxLineLength = 64 * 1024;

const QString greetingPrefix = QStringLiteral(">INFO:OpenVPN Management Interface Version ");
// OpenVPN's question for the management password, without a line end; asked again after a wrong one.
const QByteArray passwordPrompt = QByteArrayLiteral("ENTER PASSWORD:");
const QString connectedMarker = QStringLiteral("Initialization Sequence Completed");
const QString logPrefix = QStringLiteral("Management: ");

} // namespace

ManagementDialogue::ManagementDialogue(ManagementLink* link, const QString& logTag, QObject* parent)
    : QObject(parent)
    , link(link)
    , tag(logTag)
{ }

void ManagementDialogue::setCredentials(const QString& userName, const QString& password)
{
    this->userName = userName;
    this->password = password;
}

void ManagementDialogue::setManagementSecret(const QByteArray& secret)
{
    managementSecret = secret;
}

void ManagementDialogue::restart()
{
    pendingLine.clear();
    discardingLine = false;
    managementPasswordSent = false;
    greeted = false;
}

void ManagementDialogue::forgetAddress()
{
    address.clear();
}

bool ManagementDialogue::isGreeted() const
{
    return greeted;
}

void ManagementDialogue::consume(const QByteArray& data)
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
        tagged(qWarning(), tag) << logPrefix << "Line longer than " << maxLineLength << " bytes dropped";
        pendingLine.clear();
        discardingLine = true;
    }
}

void ManagementDialogue::finish()
{
    const QString line = QString::fromUtf8(pendingLine).simplified();
    pendingLine.clear();
    if (!line.isEmpty() && !discardingLine) {
        handleLine(line);
    }
}

void ManagementDialogue::answerPasswordPrompt()
{
    // The prompt again: this OpenVPN was not started with this run's secret. Trying again would
    // only tell the secret to whoever listens.
    if (managementPasswordSent) {
        tagged(qWarning(), tag) << logPrefix << "Management password refused";
        link->abort();
        return;
    }
    managementPasswordSent = true;
    write(managementSecret + '\n');
    tagged(qInfo(), tag) << logPrefix << "Sent management password: ***";
}

void ManagementDialogue::handleLine(const QString& line)
{
    if (!line.contains(QLatin1String(">BYTECOUNT"))) {
        tagged(qInfo(), tag) << logPrefix << line;
    }

    if (isGreeting(line)) {
        greeted = true;
        write(QByteArrayLiteral("state on\n"));
        tagged(qInfo(), tag) << logPrefix << "Send 'state on'";
        write(QByteArrayLiteral("log on\n"));
        tagged(qInfo(), tag) << logPrefix << "Send 'log on'";
    } else if (line.startsWith(QLatin1String(">PASSWORD:Need 'Auth' username/password"))) {
        sendUserName();
        sendPassword();
    } else if (line.contains(QLatin1String("MANAGEMENT")) && line.contains(QLatin1String("STATE"))
        && line.contains(QLatin1String("AUTH"))) {
        tagged(qInfo(), tag) << "Auth passed";
    } else if (line.startsWith(QLatin1String(">PASSWORD:Verification Failed"))) {
        emit credentialsRejected();
    } else if (parsePushReply(line) || parseAssignIp(line)) {
        return;
    } else if (line.contains(connectedMarker)) {
        Logger::separator(tag, connectedMarker);
        write(QByteArrayLiteral("bytecount 1\n"));
        tagged(qInfo(), tag) << logPrefix << "Send 'bytecount'";
        emit tunnelUp();
        return;
    }
    parseByteCount(line);
}

bool ManagementDialogue::isGreeting(const QString& line) const
{
    // Any version: OpenVPN 2.5 and later announce versions above 1.
    const int at = line.indexOf(greetingPrefix);
    if (at < 0) {
        return false;
    }
    const int versionAt = at + greetingPrefix.size();
    return versionAt < line.size() && line.at(versionAt).isDigit();
}

QString ManagementDialogue::escapedForManagement(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return escaped;
}

void ManagementDialogue::sendUserName()
{
    // Quoted and escaped like the password: a blank in the name would otherwise split the command.
    write(QStringLiteral("username 'Auth' \"%1\"\n").arg(escapedForManagement(userName)).toUtf8());
    tagged(qInfo(), tag) << logPrefix << "Sent username: " << userName;
}

void ManagementDialogue::sendPassword()
{
    write(QStringLiteral("password 'Auth' \"%1\"\n").arg(escapedForManagement(password)).toUtf8());
    tagged(qInfo(), tag) << logPrefix << "Sent password: ***";
}

bool ManagementDialogue::parsePushReply(const QString& line)
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
    extractDnsServers(reply.split(QLatin1Char(','), Qt::SkipEmptyParts));
    return true;
}

void ManagementDialogue::extractDnsServers(const QStringList& options)
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
    tagged(qInfo(), tag) << QStringLiteral("Parsed 'PUSH_REPLY' (dhcp-option DNS), IPv4: %1, IPv6: %2").arg(ipv4, ipv6);
    emit dnsServersPushed(ipv4, ipv6);
}

bool ManagementDialogue::parseAssignIp(const QString& line)
{
    if (!address.isEmpty()) {
        return false;
    }
    if (!line.contains(QLatin1String("ASSIGN_IP")) || !line.contains(QLatin1String(">STATE"))
        || line.contains(QLatin1String("MANAGEMENT"))) {
        return false;
    }
    const QString warning = QStringLiteral("Cannot parse ASSIGN_IP line");
    const int begin = line.indexOf(QLatin1String(",,"));
    if (begin < 0) {
        tagged(qWarning(), tag) << warning;
        return false;
    }
    const int from = begin + 2;
    const int end = line.indexOf(QLatin1String(",,,,"));
    QString candidate;
    if (end < 0) {
        tagged(qWarning(), tag) << warning;
        candidate = line.mid(from);
    } else if (end >= from) {
        candidate = line.mid(from, end - from);
    }
    // An empty field (",,,," right after "ASSIGN_IP") carries no address.
    if (candidate.isEmpty() || QHostAddress(candidate).isNull()) {
        tagged(qWarning(), tag) << warning;
        return false;
    }
    address = candidate;
    tagged(qInfo(), tag) << QStringLiteral("Parsed 'ASSIGN_IP': %1").arg(address);
    emit assignedIp(address);
    return true;
}

void ManagementDialogue::parseByteCount(const QString& line)
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
    emit byteCountChanged(received, sent);
}

void ManagementDialogue::write(const QByteArray& data)
{
    link->write(data);
}
