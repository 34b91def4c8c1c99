#include "configurationcheck.h"

#include "deploymentconfig.h"
#include "servicelog.h"

#include <QHash>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QStringList>

#include <functional>

namespace {

using Check = std::function<bool(const QStringList&)>;

// Each expression is compiled once, at its first use: a configuration costs no compilation per line.
QRegularExpression anchored(const char* pattern)
{
    QRegularExpression expression(QRegularExpression::anchoredPattern(QLatin1String(pattern)));
    expression.optimize();
    return expression;
}

bool isToken(const QString& text)
{
    static const QRegularExpression token = anchored("[A-Za-z0-9][A-Za-z0-9._:+-]*");
    return token.match(text).hasMatch();
}

bool isNumber(const QString& text, int low, int high)
{
    static const QRegularExpression digits = anchored("[0-9]+");
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && digits.match(text).hasMatch() && value >= low && value <= high;
}

bool noArguments(const QStringList& arguments)
{
    return arguments.isEmpty();
}

bool oneToken(const QStringList& arguments)
{
    return arguments.size() == 1 && isToken(arguments.at(0));
}

// An address of the provider's servers: a public address in canonical form (OpenVPN, as root,
// must not be pointed at this machine's own ports or the local network), and one the deployment
// lists, where it lists them. The documentation ranges count as public: the development host's
// internet is made of them.
bool isProviderServer(const QString& host)
{
    QHostAddress address;
    if (!address.setAddress(host) || address.toString() != host) {
        return false;
    }
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped) {
        address = QHostAddress(v4);
    }
    static const char* const reserved[] = { "0.0.0.0/8", "10.0.0.0/8", "100.64.0.0/10", "127.0.0.0/8", "169.254.0.0/16",
        "172.16.0.0/12", "192.168.0.0/16", "224.0.0.0/3", "::/127", "fc00::/7", "fe80::/10", "fec0::/10", "ff00::/8",
        "64:ff9b::/96" };
    for (const char* range : reserved) {
        if (address.isInSubnet(QHostAddress::parseSubnet(QLatin1String(range)))) {
            return false;
        }
    }
    const QStringList servers
        = QString::fromLatin1(Deployment::openVpnServers).split(QLatin1Char(','), Qt::SkipEmptyParts);
    return servers.isEmpty() || servers.contains(address.toString());
}

// What the client's template and its additional directives produce, and nothing else: every
// other directive (plugin, up, down, script-security, log, status, writepid, cd, chroot, daemon,
// a file to read, a management port on another address, ...) could make the root-run OpenVPN
// execute or write something for the user.
const QHash<QString, Check>& allowList()
{
    static const QHash<QString, Check> list {
        { QStringLiteral("client"), noArguments },
        { QStringLiteral("tls-client"), noArguments },
        { QStringLiteral("nobind"), noArguments },
        { QStringLiteral("persist-key"), noArguments },
        { QStringLiteral("persist-tun"), noArguments },
        { QStringLiteral("auth-nocache"), noArguments },
        // Without a file: the credentials come through the management interface.
        { QStringLiteral("auth-user-pass"), noArguments },
        { QStringLiteral("register-dns"), noArguments },
        { QStringLiteral("dhcp-renew"), noArguments },
        { QStringLiteral("block-outside-dns"), noArguments },
        { QStringLiteral("mute-replay-warnings"), noArguments },
        { QStringLiteral("auth"), oneToken },
        { QStringLiteral("cipher"), oneToken },
        { QStringLiteral("tls-cipher"), oneToken },
        { QStringLiteral("dev"),
            [](const QStringList& a) {
                return a == QStringList { QStringLiteral("tun") };
            } },
        { QStringLiteral("verb"),
            [](const QStringList& a) {
                return a.size() == 1 && isNumber(a.at(0), 0, 11);
            } },
        { QStringLiteral("compress"),
            [](const QStringList& a) {
                return a.isEmpty() || oneToken(a);
            } },
        // The user's MTU for the tunnel's interface, within what the client's settings offer.
        { QStringLiteral("tun-mtu"),
            [](const QStringList& a) {
                return a.size() == 1 && isNumber(a.at(0), 576, 65535);
            } },
        { QStringLiteral("replay-window"),
            [](const QStringList& a) {
                return (a.size() == 1 || a.size() == 2) && isNumber(a.at(0), 1, 65535)
                    && (a.size() == 1 || isNumber(a.at(1), 1, 65535));
            } },
        { QStringLiteral("remote-cert-eku"),
            [](const QStringList& a) {
                static const QRegularExpression purpose = anchored("[A-Za-z0-9][A-Za-z0-9 .]*");
                return a.size() == 1 && purpose.match(a.at(0)).hasMatch();
            } },
        // Exactly as the template has it, with the client's password file (checked when read).
        { QStringLiteral("management"),
            [](const QStringList& a) {
                return a.size() == 3 && a.at(0) == QLatin1String("127.0.0.1")
                    && a.at(1) == QString::number(ConfigurationCheck::managementPort) && !a.at(2).isEmpty();
            } },
        { QStringLiteral("remote"),
            [](const QStringList& a) {
                static const QStringList protocols { QStringLiteral("udp"), QStringLiteral("tcp"),
                    QStringLiteral("udp4"), QStringLiteral("udp6"), QStringLiteral("tcp4"), QStringLiteral("tcp6"),
                    QStringLiteral("tcp-client") };
                return !a.isEmpty() && a.size() <= 3 && isProviderServer(a.at(0))
                    && (a.size() < 2 || isNumber(a.at(1), 1, 65535)) && (a.size() < 3 || protocols.contains(a.at(2)));
            } },
    };
    return list;
}

// Base64 or hexadecimal key material, as the inline blocks hold it.
bool isBlockText(const QString& line)
{
    for (const QChar c : line) {
        const ushort u = c.unicode();
        if (!((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '+' || u == '/'
                || u == '=' || u == ' ' || u == '-')) {
            return false;
        }
    }
    return true;
}

const QStringList inlineBlocks { QStringLiteral("ca"), QStringLiteral("tls-crypt") };

// The key material of a PEM text: its lines without blanks, comments and empty lines.
QStringList keyLines(const QString& text)
{
    QStringList lines;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#'))) {
            lines.append(line);
        }
    }
    return lines;
}

// The deployment's own CA and tls-crypt key: a tunnel to anyone else's server is refused.
const QStringList& deploymentBlock(const QString& name)
{
    static const QStringList ca = keyLines(QString::fromLatin1(Deployment::openVpnCaPem));
    static const QStringList tlsCrypt = keyLines(QString::fromLatin1(Deployment::openVpnTlsCryptKey));
    return name == QLatin1String("ca") ? ca : tlsCrypt;
}

// OpenVPN's own parser knows quotes, single quotes, backslash escapes and comment characters.
// Only plain words and simple double-quoted text are accepted, so that both read a line alike.
bool splitLine(const QString& line, QStringList* tokens, QString* error)
{
    int at = 0;
    while (at < line.size()) {
        const QChar c = line.at(at);
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            ++at;
            continue;
        }
        QString token;
        if (c == QLatin1Char('"')) {
            const int end = line.indexOf(QLatin1Char('"'), at + 1);
            if (end < 0
                || (end + 1 < line.size() && line.at(end + 1) != QLatin1Char(' ')
                    && line.at(end + 1) != QLatin1Char('\t'))) {
                *error = QStringLiteral("unsupported quoting");
                return false;
            }
            token = line.mid(at + 1, end - at - 1);
            at = end + 1;
        } else {
            while (at < line.size() && line.at(at) != QLatin1Char(' ') && line.at(at) != QLatin1Char('\t')) {
                token += line.at(at++);
            }
        }
        for (const QChar t : qAsConst(token)) {
            if (t == QLatin1Char('"') || t == QLatin1Char('\'') || t == QLatin1Char('\\') || t == QLatin1Char('#')
                || t == QLatin1Char(';')) {
                *error = QStringLiteral("unsupported character %1").arg(t);
                return false;
            }
        }
        tokens->append(token);
    }
    return true;
}

// An address of one of this machine's interfaces (either family, also IPv4-mapped): OpenVPN, as root,
// would connect to a listener here, whatever the address's range.
bool isOwnAddress(const QString& host, const QList<QHostAddress>& own)
{
    const QHostAddress address(host);
    for (const QHostAddress& candidate : own) {
        // Tolerant: an IPv4-mapped IPv6 address equals its IPv4 address.
        if (address.isEqual(candidate, QHostAddress::TolerantConversion)) {
            return true;
        }
    }
    return false;
}

QByteArray joined(const QStringList& tokens)
{
    QStringList parts;
    for (const QString& token : tokens) {
        parts.append(token.contains(QLatin1Char(' ')) ? QLatin1Char('"') + token + QLatin1Char('"') : token);
    }
    return parts.join(QLatin1Char(' ')).toLatin1() + '\n';
}

// One pass over a configuration's lines, with the inline block under way.
class Reader
{
public:
    Reader(const QString& passwordCopy, const QString& socket, const QString& clientUser, QByteArray* copy,
        QString* passwordFile, QString* error)
        : passwordCopy(passwordCopy)
        , socket(socket)
        , clientUser(clientUser)
        , copy(copy)
        , passwordFile(passwordFile)
        , error(error)
    { }

    // line: trimmed; where: " (line N)" for the messages.
    bool read(const QString& line, const QString& where)
    {
        if (line.size() > ConfigurationCheck::maxLineLength) {
            *error
                = QStringLiteral("line longer than %1 characters%2").arg(ConfigurationCheck::maxLineLength).arg(where);
            return false;
        }
        if (!block.isEmpty()) {
            return readBlockLine(line, where);
        }
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';'))) {
            return true;
        }
        if (line.startsWith(QLatin1Char('<'))) {
            return openBlock(line, where);
        }
        return readDirective(line, where);
    }

    bool finish()
    {
        if (!block.isEmpty()) {
            *error = QStringLiteral("inline <%1> is not closed").arg(block);
            return false;
        }
        if (passwordFile->isEmpty()) {
            *error = QStringLiteral("no management directive with a password file");
            return false;
        }
        for (const QString& name : inlineBlocks) {
            if (!blocksSeen.contains(name) && !deploymentBlock(name).isEmpty()) {
                *error = QStringLiteral("no inline <%1> of the deployment").arg(name);
                return false;
            }
        }
        return true;
    }

private:
    bool readBlockLine(const QString& line, const QString& where)
    {
        if (line == QStringLiteral("</%1>").arg(block)) {
            if (blockLines != deploymentBlock(block)) {
                *error = QStringLiteral("inline <%1> is not the deployment's%2").arg(block, where);
                return false;
            }
            block.clear();
        } else if (line.startsWith(QLatin1Char('#')) || isBlockText(line)) {
            if (!line.isEmpty() && !line.startsWith(QLatin1Char('#'))) {
                blockLines.append(line);
            }
        } else {
            *error = QStringLiteral("unexpected text in inline <%1>%2").arg(block, where);
            return false;
        }
        copy->append(line.toLatin1() + '\n');
        return true;
    }

    bool openBlock(const QString& line, const QString& where)
    {
        const QString name = line.mid(1, line.size() - 2);
        if (!line.endsWith(QLatin1Char('>')) || !inlineBlocks.contains(name)) {
            *error = QStringLiteral("inline block %1 is not allowed%2").arg(ServiceLog::printable(line, 60), where);
            return false;
        }
        if (blocksSeen.contains(name)) {
            *error = QStringLiteral("inline block <%1> given twice%2").arg(name, where);
            return false;
        }
        blocksSeen.append(name);
        block = name;
        blockLines.clear();
        copy->append(line.toLatin1() + '\n');
        return true;
    }

    bool readDirective(const QString& line, const QString& where)
    {
        QStringList tokens;
        QString problem;
        if (!splitLine(line, &tokens, &problem)) {
            *error = QStringLiteral("%1 in directive %2%3")
                         .arg(problem, ServiceLog::printable(line.section(QLatin1Char(' '), 0, 0), 60), where);
            return false;
        }
        const QString directive = tokens.takeFirst();
        const auto rule = allowList().constFind(directive);
        if (rule == allowList().constEnd()) {
            *error = QStringLiteral("directive %1 is not allowed%2").arg(ServiceLog::printable(directive, 60), where);
            return false;
        }
        if (!(*rule)(tokens)) {
            *error = QStringLiteral("directive %1 with arguments %2 is not allowed%3")
                         .arg(directive, ServiceLog::printable(tokens.join(QLatin1Char(' ')), 120), where);
            return false;
        }
        if (directive == QLatin1String("remote")) {
            if (!ownListed) {
                ownListed = true;
                own = QNetworkInterface::allAddresses();
            }
            if (isOwnAddress(tokens.at(0), own)) {
                *error = QStringLiteral("directive remote names an address of this machine, %1%2")
                             .arg(tokens.at(0), where);
                return false;
            }
        }
        if (directive != QLatin1String("management")) {
            copy->append(joined(QStringList { directive } + tokens));
            return true;
        }
        if (!passwordFile->isEmpty()) {
            *error = QStringLiteral("directive management given twice%1").arg(where);
            return false;
        }
        *passwordFile = tokens.takeLast();
        if (socket.isEmpty()) {
            copy->append(joined(QStringList { directive } + tokens + QStringList { passwordCopy }));
        } else {
            copy->append(joined({ directive, socket, QStringLiteral("unix"), passwordCopy }));
            copy->append(joined({ QStringLiteral("management-client-user"), clientUser }));
        }
        return true;
    }

    const QString passwordCopy;
    const QString socket;
    const QString clientUser;
    QByteArray* copy;
    QString* passwordFile;
    QString* error;
    QStringList blocksSeen;
    QString block; // the inline block being read
    QStringList blockLines; // its key material so far
    // The machine's addresses, asked once per configuration.
    QList<QHostAddress> own;
    bool ownListed = false;
};

} // namespace

namespace ConfigurationCheck {

bool check(const QByteArray& text, const QString& passwordCopy, QByteArray* copy, QString* passwordFile, QString* error,
    const QString& socket, const QString& clientUser)
{
    passwordFile->clear();
    for (const char c : text) {
        if ((c < 0x20 || c > 0x7e) && c != '\t' && c != '\r' && c != '\n') {
            *error = QStringLiteral("control or non-ASCII character 0x%1")
                         .arg(static_cast<uchar>(c), 2, 16, QLatin1Char('0'));
            return false;
        }
    }
    const QStringList lines = QString::fromLatin1(text).split(QLatin1Char('\n'));
    // A final line end ends the last line; it begins none.
    if (lines.size() - (lines.constLast().isEmpty() ? 1 : 0) > maxLines) {
        *error = QStringLiteral("more than %1 lines").arg(maxLines);
        return false;
    }
    copy->clear();
    Reader reader(passwordCopy, socket, clientUser, copy, passwordFile, error);
    for (int index = 0; index < lines.size(); ++index) {
        if (!reader.read(lines.at(index).trimmed(), QStringLiteral(" (line %1)").arg(index + 1))) {
            return false;
        }
    }
    return reader.finish();
}

bool checkSecret(const QByteArray& text, QByteArray* secret, QString* error)
{
    QByteArray line = text;
    if (line.endsWith('\n')) {
        line.chop(line.endsWith("\r\n") ? 2 : 1);
    }
    if (line.size() < minSecretLength || line.size() > maxSecretLength) {
        *error = QStringLiteral("the secret is not %1 to %2 characters long").arg(minSecretLength).arg(maxSecretLength);
        return false;
    }
    for (const char c : qAsConst(line)) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) {
            *error = QStringLiteral("the secret is not one line of letters and digits");
            return false;
        }
    }
    *secret = line;
    return true;
}

} // namespace ConfigurationCheck
