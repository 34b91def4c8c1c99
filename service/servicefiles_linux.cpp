// The Linux side of the service's files: ownership and modes as the file system keeps them.
#include "servicefiles.h"

#ifndef Q_OS_WIN

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ServiceFiles {

Qt::CaseSensitivity pathCase()
{
    return Qt::CaseSensitive;
}

QString stateFolder()
{
    return QStringLiteral("/var/lib/korvexvpn");
}

QString logFilePath()
{
    return QStringLiteral("/var/log/vpn-service.log");
}

QFile* openLog(const QString& path, QString* error)
{
    auto* file = new QFile;
    const int fd = ::open(QFile::encodeName(path).constData(),
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, S_IRUSR | S_IWUSR);
    struct stat info = {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::fchmod(fd, S_IRUSR | S_IWUSR) != 0
        || !file->open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        *error = fd < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("not a regular file");
        if (fd >= 0) {
            ::close(fd);
        }
        delete file;
        return nullptr;
    }
    return file;
}

void moveReplacing(const QString& from, const QString& to)
{
    ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData());
}

QString ownFileProblem(const QString& path, bool* exists)
{
    struct stat info = {};
    *exists = ::lstat(QFile::encodeName(path).constData(), &info) == 0;
    // Root's own plain file that nobody else may change; anything else was not written by us.
    if (*exists && (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 022) != 0)) {
        return QStringLiteral("%1 is not a file of the service's own that only it may change").arg(path);
    }
    return QString();
}

bool isOwnFolder(const QString& path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::geteuid();
}

bool isSafeFromOtherUsers(const QString& canonicalFile, const QString& canonicalFolder, QString* error)
{
    // A file or folder on the way that another user may write lets that user swap the program and
    // have it run with the service's rights.
    QString path = canonicalFile;
    while (true) {
        struct stat info = {};
        if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
            *error = QStringLiteral("cannot inspect %1").arg(path);
            return false;
        }
        // A group that may write counts as other users too, unless it is root's or the service's own.
        const bool groupMayWrite = (info.st_mode & S_IWGRP) != 0 && info.st_gid != 0 && info.st_gid != ::getegid();
        if ((info.st_mode & S_IWOTH) != 0 || groupMayWrite || (info.st_uid != 0 && info.st_uid != ::geteuid())) {
            *error = QStringLiteral("%1 can be changed by other users").arg(path);
            return false;
        }
        if (path == canonicalFolder) {
            return true;
        }
        path = QFileInfo(path).absolutePath();
    }
}

} // namespace ServiceFiles

#endif
