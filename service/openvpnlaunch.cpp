#include "openvpnlaunch.h"

#include "deploymentconfig.h"
#include "platform/programpaths.h"
#include "runfolder.h"
#include "servicelog.h"
#include "userfile.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QRegularExpression>

#include <functional>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>
#endif

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
                    && a.at(1) == QString::number(OpenVpnLaunch::managementPort) && !a.at(2).isEmpty();
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

constexpr int maxLineLength = 250;

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

QByteArray joined(const QStringList& tokens)
{
    QStringList parts;
    for (const QString& token : tokens) {
        parts.append(token.contains(QLatin1Char(' ')) ? QLatin1Char('"') + token + QLatin1Char('"') : token);
    }
    return parts.join(QLatin1Char(' ')).toLatin1() + '\n';
}

#ifdef Q_OS_UNIX

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool readAll(int fd, qint64 limit, QByteArray* data)
{
    char buffer[8192];
    while (data->size() <= limit) {
        const ssize_t got = ::read(fd, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        data->append(buffer, static_cast<int>(got));
    }
    return true;
}

bool writeAll(int fd, const QByteArray& data)
{
    qint64 done = 0;
    while (done < data.size()) {
        const ssize_t wrote = ::write(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        done += wrote;
    }
    return true;
}

// One read of one open file: what is checked is what is used, whatever the user does to the
// file afterwards. secret: the file must be the user's alone, as a secret others may read is none.
bool readUserFile(
    const QString& path, qint64 uid, qint64 limit, const QString& what, bool secret, QByteArray* text, QString* error)
{
    const int fd = UserFile::open(path, O_RDONLY, uid, what, error);
    if (fd < 0) {
        return false;
    }
    struct stat info = {};
    if (secret && (::fstat(fd, &info) != 0 || (info.st_mode & 077) != 0)) {
        ::close(fd);
        *error = QStringLiteral("%1 %2: open to other users").arg(what, ServiceLog::printable(path));
        return false;
    }
    const bool read = readAll(fd, limit, text);
    ::close(fd);
    if (!read || text->size() > limit) {
        *error = QStringLiteral("%1 %2: %3")
                     .arg(what, ServiceLog::printable(path),
                         read ? QStringLiteral("larger than %1 bytes").arg(limit) : systemError());
        return false;
    }
    return true;
}

// The account name of a uid, when it is one OpenVPN's management-client-user reads as written.
QString userName(qint64 uid)
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<size_t>(size > 0 ? qMax(size, 16384L) : 16384L));
    passwd entry = {};
    passwd* found = nullptr;
    if (uid < 0 || ::getpwuid_r(static_cast<uid_t>(uid), &entry, buffer.data(), buffer.size(), &found) != 0
        || found == nullptr) {
        return QString();
    }
    const QString name = QString::fromLatin1(found->pw_name);
    static const QRegularExpression plain = anchored("[A-Za-z0-9_][A-Za-z0-9._-]{0,31}");
    return plain.match(name).hasMatch() ? name : QString();
}

// A new file only the service's user can read, in the run's private folder.
bool writePrivateFile(const QString& path, const QByteArray& data, QString* error)
{
    const int fd = ::open(
        QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    const bool written = fd >= 0 && writeAll(fd, data);
    if (fd >= 0) {
        ::close(fd);
    }
    if (!written) {
        *error = QStringLiteral("cannot write the private file %1: %2").arg(path, systemError());
    }
    return written;
}

#endif

} // namespace

OpenVpnLaunch::~OpenVpnLaunch()
{
    closeOutput();
}

QStringList OpenVpnLaunch::arguments() const
{
    return ProgramPaths::openVpnArguments(ProgramPaths::currentSystem(),
        { QStringLiteral("--config"), copyPath, QStringLiteral("--management-query-passwords") });
}

int OpenVpnLaunch::outputDescriptor() const
{
    return output;
}

void OpenVpnLaunch::closeOutput()
{
#ifdef Q_OS_UNIX
    if (output >= 0) {
        ::close(output);
    }
#endif
    output = -1;
}

bool OpenVpnLaunch::checkSecret(const QByteArray& text, QByteArray* secret, QString* error)
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

QString OpenVpnLaunch::managementSocket() const
{
    return socketPath;
}

bool OpenVpnLaunch::checkConfiguration(const QByteArray& text, const QString& passwordCopy, QByteArray* copy,
    QString* passwordFile, QString* error, const QString& socket, const QString& clientUser)
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
    QStringList blocksSeen;
    QString block; // the inline block being read
    QStringList blockLines; // its key material so far
    copy->clear();
    for (int index = 0; index < lines.size(); ++index) {
        const QString line = lines.at(index).trimmed();
        const QString where = QStringLiteral(" (line %1)").arg(index + 1);
        // OpenVPN reads a longer line in pieces, and takes the rest for a line of its own.
        if (line.size() > maxLineLength) {
            *error = QStringLiteral("line longer than %1 characters%2").arg(maxLineLength).arg(where);
            return false;
        }
        if (!block.isEmpty()) {
            if (line == QStringLiteral("</%1>").arg(block)) {
                if (blockLines != deploymentBlock(block)) {
                    *error = QStringLiteral("inline <%1> is not the deployment's%2").arg(block, where);
                    return false;
                }
                block.clear();
                copy->append(line.toLatin1() + '\n');
            } else if (line.startsWith(QLatin1Char('#')) || isBlockText(line)) {
                if (!line.isEmpty() && !line.startsWith(QLatin1Char('#'))) {
                    blockLines.append(line);
                }
                copy->append(line.toLatin1() + '\n');
            } else {
                *error = QStringLiteral("unexpected text in inline <%1>%2").arg(block, where);
                return false;
            }
            continue;
        }
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('<'))) {
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
            continue;
        }
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
        if (directive == QLatin1String("management")) {
            if (!passwordFile->isEmpty()) {
                *error = QStringLiteral("directive management given twice%1").arg(where);
                return false;
            }
            *passwordFile = tokens.takeLast();
            tokens.append(passwordCopy);
            if (!socket.isEmpty()) {
                copy->append(joined({ directive, socket, QStringLiteral("unix"), passwordCopy }));
                copy->append(joined({ QStringLiteral("management-client-user"), clientUser }));
                continue;
            }
        }
        copy->append(joined(QStringList { directive } + tokens));
    }
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

std::unique_ptr<OpenVpnLaunch> OpenVpnLaunch::prepare(const QStringList& arguments, qint64 peerUid, QString* error)
{
    // Exactly the client's command; an extra option would reach the root-run OpenVPN unchecked.
    if (arguments.size() != 5 || arguments.at(0) != QLatin1String("--config")
        || arguments.at(2) != QLatin1String("--management-query-passwords")
        || arguments.at(3) != QLatin1String("--log-append")) {
        *error = QStringLiteral("arguments are not --config FILE --management-query-passwords --log-append FILE: %1")
                     .arg(ServiceLog::printable(arguments.join(QLatin1Char(' '))));
        return nullptr;
    }
    const QString configPath = QDir::fromNativeSeparators(arguments.at(1));
    const QString logPath = QDir::fromNativeSeparators(arguments.at(4));
    std::unique_ptr<OpenVpnLaunch> launch(new OpenVpnLaunch);

#ifdef Q_OS_UNIX
    // A folder of the service's own user that nobody else may enter (mkdtemp makes it 0700), so
    // that nobody can reach the copies while OpenVPN runs; it goes with the run.
    launch->folder = RunFolder::create();
    struct stat folderInfo = {};
    if (!launch->folder->isValid() || ::lstat(QFile::encodeName(launch->folder->path()).constData(), &folderInfo) != 0
        || !S_ISDIR(folderInfo.st_mode) || folderInfo.st_uid != ::geteuid() || (folderInfo.st_mode & 077) != 0) {
        *error = QStringLiteral("no private folder for the configuration in %1").arg(QDir::tempPath());
        return nullptr;
    }
    launch->copyPath = launch->folder->path() + QStringLiteral("/openvpn.ovpn");
    const QString passwordCopy = launch->folder->path() + QStringLiteral("/management.pw");
    // The client's user reaches the management socket through the folder, without seeing into it:
    // the files in it are the service's alone, and OpenVPN lets only that user in.
    launch->socketPath = launch->folder->path() + QStringLiteral("/management.sock");
    const QString clientUser = userName(peerUid);
    if (clientUser.isEmpty()
        || ::chmod(QFile::encodeName(launch->folder->path()).constData(), S_IRWXU | S_IXGRP | S_IXOTH) != 0) {
        *error = QStringLiteral("uid %1 has no account for the management interface").arg(peerUid);
        return nullptr;
    }

    QByteArray text;
    if (!readUserFile(
            configPath, peerUid, maxConfigurationSize, QStringLiteral("configuration"), false, &text, error)) {
        return nullptr;
    }
    QByteArray copy;
    QString passwordFile;
    QString problem;
    if (!checkConfiguration(text, passwordCopy, &copy, &passwordFile, &problem, launch->socketPath, clientUser)) {
        *error = QStringLiteral("configuration %1: %2").arg(ServiceLog::printable(configPath), problem);
        return nullptr;
    }
    passwordFile = QDir::fromNativeSeparators(passwordFile);
    QByteArray secretText;
    QByteArray secret;
    if (!readUserFile(passwordFile, peerUid, maxSecretLength + 2, QStringLiteral("management password file"), true,
            &secretText, error)) {
        return nullptr;
    }
    // Never the secret itself in the log.
    if (!checkSecret(secretText, &secret, &problem)) {
        *error = QStringLiteral("management password file %1: %2").arg(ServiceLog::printable(passwordFile), problem);
        return nullptr;
    }

    launch->output = UserFile::open(logPath, O_WRONLY | O_APPEND, peerUid, QStringLiteral("log file"), error);
    if (launch->output < 0) {
        return nullptr;
    }
    if (!writePrivateFile(passwordCopy, secret + '\n', error) || !writePrivateFile(launch->copyPath, copy, error)) {
        return nullptr;
    }
#else
    // Windows, in the same steps:
    // - the peer's user is the TokenUser SID of the client process (OpenProcess on the PID of the
    //   loopback connection, OpenProcessToken, GetTokenInformation) instead of a uid;
    // - the user's files are opened with CreateFileW and FILE_FLAG_OPEN_REPARSE_POINT (no symbolic link
    //   or junction followed), the configuration and the management password file with
    //   GENERIC_READ and no FILE_SHARE_WRITE, the log
    //   with FILE_APPEND_DATA only; GetFileInformationByHandleEx (FileAttributeTagInfo) must show
    //   neither a reparse point nor a directory, GetFileType FILE_TYPE_DISK, and the owner from
    //   GetSecurityInfo(OWNER_SECURITY_INFORMATION) must equal the client's SID; the management
    //   password file's DACL (GetSecurityInfo(DACL_SECURITY_INFORMATION)) must grant read access
    //   to no other trustee than that SID, SYSTEM and Administrators;
    // - the copies go to a folder under %ProgramData% whose ACL grants SYSTEM and Administrators
    //   only (CreateDirectoryW with that security descriptor), CREATE_NEW, removed with the run;
    // - the log handle is made inheritable and given to OpenVPN as hStdOutput and hStdError of
    //   STARTUPINFO (STARTF_USESTDHANDLES) through QProcess::setCreateProcessArgumentsModifier.
    Q_UNUSED(peerUid)
    Q_UNUSED(configPath)
    Q_UNUSED(logPath)
    *error = QStringLiteral("OpenVPN runs are not supported on this system yet");
    return nullptr;
#endif
    return launch;
}
