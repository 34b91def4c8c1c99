// The Linux side of an OpenVPN run: the user's files read with the user's rights, private copies in
// a folder of the service's own, the management interface on a Unix socket only the user may open.
#include "openvpnlaunch.h"

#ifndef Q_OS_WIN

#include "configurationcheck.h"
#include "runfolder.h"
#include "servicelog.h"
#include "userfile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <vector>

namespace {

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
    static const QRegularExpression plain(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9_][A-Za-z0-9._-]{0,31}")));
    return plain.match(name).hasMatch() ? name : QString();
}

// Lets the user (and no one else but the owner) pass through the folder: an access list of the
// owner's rights, the user's passage, and nothing for anyone else (the kernel's binary form of it).
bool letPass(const QString& path, qint64 uid)
{
    struct Entry
    {
        quint16 tag;
        quint16 perm;
        quint32 id;
    };
    constexpr quint32 undefined = 0xffffffffU;
    // USER_OBJ, USER, GROUP_OBJ, MASK, OTHER, in the kernel's order.
    const Entry entries[] = { { 0x01, 7, undefined }, { 0x02, 1, quint32(uid) }, { 0x04, 0, undefined },
        { 0x10, 1, undefined }, { 0x20, 0, undefined } };
    QByteArray acl;
    const auto append = [&acl](auto value) {
        const auto little = qToLittleEndian(value);
        acl.append(reinterpret_cast<const char*>(&little), sizeof(little));
    };
    append(quint32(2)); // the format's version
    for (const Entry& entry : entries) {
        append(entry.tag);
        append(entry.perm);
        append(entry.id);
    }
    return uid >= 0
        && ::setxattr(
               QFile::encodeName(path).constData(), "system.posix_acl_access", acl.constData(), size_t(acl.size()), 0)
        == 0;
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

} // namespace

void OpenVpnLaunch::closeOutput()
{
    if (output >= 0) {
        ::close(output);
    }
    output = -1;
}

bool OpenVpnLaunch::prepareFiles(const QString& configPath, const QString& logPath, qint64 peerUid, QString* error)
{
    QString clientUser;
    QByteArray copy;
    QByteArray secret;
    if (!makeFolder(peerUid, &clientUser, error)
        || !readChecked(configPath, peerUid, clientUser, &copy, &secret, error)) {
        return false;
    }
    output = UserFile::open(logPath, O_WRONLY | O_APPEND, peerUid, QStringLiteral("log file"), error);
    if (output < 0) {
        return false;
    }
    if (!writePrivateFile(passwordCopyPath, secret + '\n', error) || !writePrivateFile(copyPath, copy, error)) {
        return false;
    }
    return true;
}

bool OpenVpnLaunch::makeFolder(qint64 peerUid, QString* clientUser, QString* error)
{
    // A folder of the service's own user that nobody else may enter (mkdtemp makes it 0700), so
    // that nobody can reach the copies while OpenVPN runs; it goes with the run.
    folder = RunFolder::create();
    struct stat folderInfo = {};
    if (!folder->isValid() || ::lstat(QFile::encodeName(folder->path()).constData(), &folderInfo) != 0
        || !S_ISDIR(folderInfo.st_mode) || folderInfo.st_uid != ::geteuid() || (folderInfo.st_mode & 077) != 0) {
        *error = QStringLiteral("no private folder for the configuration in %1").arg(QDir::tempPath());
        return false;
    }
    copyPath = folder->path() + QStringLiteral("/openvpn.ovpn");
    passwordCopyPath = folder->path() + QStringLiteral("/management.pw");
    // The client's user alone reaches the management socket through the folder, without seeing into
    // it: the files in it are the service's alone, and OpenVPN lets only that user in. Nobody else
    // gets as far as the socket (where each attempt would cost a line of OpenVPN's in the user's log).
    socketPath = folder->path() + QStringLiteral("/management.sock");
    *clientUser = userName(peerUid);
    if (clientUser->isEmpty()) {
        *error = QStringLiteral("uid %1 has no account for the management interface").arg(peerUid);
        return false;
    }
    if (!letPass(folder->path(), peerUid)) {
        *error = QStringLiteral("cannot open the folder %1 to uid %2: %3")
                     .arg(folder->path())
                     .arg(peerUid)
                     .arg(systemError());
        return false;
    }
    return true;
}

bool OpenVpnLaunch::readChecked(const QString& configPath, qint64 peerUid, const QString& clientUser, QByteArray* copy,
    QByteArray* secret, QString* error) const
{
    QByteArray text;
    if (!readUserFile(
            configPath, peerUid, maxConfigurationSize, QStringLiteral("configuration"), false, &text, error)) {
        return false;
    }
    QString passwordFile;
    QString problem;
    if (!ConfigurationCheck::check(text, passwordCopyPath, copy, &passwordFile, &problem, socketPath, clientUser)) {
        *error = QStringLiteral("configuration %1: %2").arg(ServiceLog::printable(configPath), problem);
        return false;
    }
    passwordFile = QDir::fromNativeSeparators(passwordFile);
    QByteArray secretText;
    if (!readUserFile(passwordFile, peerUid, ConfigurationCheck::maxSecretLength + 2,
            QStringLiteral("management password file"), true, &secretText, error)) {
        return false;
    }
    // Never the secret itself in the log.
    if (!ConfigurationCheck::checkSecret(secretText, secret, &problem)) {
        *error = QStringLiteral("management password file %1: %2").arg(ServiceLog::printable(passwordFile), problem);
        return false;
    }
    return true;
}

#endif
