// The Linux side of the state folder: every folder on the way checked, nothing opened through a link.
#include "statefolder.h"

#ifndef Q_OS_WIN

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace StateFolder {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Every folder from the root down to this one is a real folder (no link) of root or the service's
// own user; none may be changed by others, but a sticky folder above (such as /tmp) whose entries
// only their owners may rename.
bool trusted(const QString& folder, QString* problem)
{
    const QString absolute = QDir::cleanPath(QDir(folder).absolutePath());
    const QStringList parts = absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString path = QStringLiteral("/");
    for (int i = -1; i < parts.size(); ++i) {
        path = i < 0 ? path : QDir::cleanPath(path + QLatin1Char('/') + parts.at(i));
        struct stat info = {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
            *problem = QStringLiteral("%1: %2").arg(path, systemError());
            return false;
        }
        const bool last = i == parts.size() - 1;
        const bool sticky = (info.st_mode & S_ISVTX) != 0 && !last;
        if (!S_ISDIR(info.st_mode) || (info.st_uid != 0 && info.st_uid != ::geteuid())
            || ((info.st_mode & 022) != 0 && !sticky)) {
            *problem = QStringLiteral("%1 is not a folder that only the service may change").arg(path);
            return false;
        }
    }
    return true;
}

} // namespace

bool prepare(const QString& folder, QString* problem)
{
    if (!QFileInfo::exists(folder) && !QDir().mkpath(folder)) {
        *problem = QStringLiteral("cannot make the folder %1").arg(folder);
        return false;
    }
    if (!trusted(folder, problem)) {
        return false;
    }
    // Readable by the service alone (it never follows a link here: the folder was just checked).
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const bool done = fd >= 0 && ::fchmod(fd, 0700) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    if (!done) {
        *problem = QStringLiteral("%1: %2").arg(folder, systemError());
    }
    return done;
}

bool write(const QString& path, const QByteArray& data, QString* error)
{
    if (!prepare(QFileInfo(path).path(), error)) {
        return false;
    }
    const QByteArray target = QFile::encodeName(path);
    const QByteArray fresh = target + ".new";
    // A new file of our own, never an old one (a link, or a hard link to another file).
    ::unlink(fresh.constData());
    const int fd = ::open(fresh.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, systemError());
        return false;
    }
    qint64 written = 0;
    while (written < data.size()) {
        const ssize_t got = ::write(fd, data.constData() + written, size_t(data.size() - written));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        written += got;
    }
    // Written whole or not at all: a crash while writing leaves the previous file.
    const bool complete = written == data.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!complete || ::rename(fresh.constData(), target.constData()) != 0) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, systemError());
        ::unlink(fresh.constData());
        return false;
    }
    return true;
}

bool read(const QString& path, qint64 maxSize, QByteArray* data, bool* missing, QString* problem)
{
    *missing = false;
    const QString folder = QFileInfo(path).path();
    struct stat info = {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0 && errno == ENOENT) {
        *missing = true;
        return true;
    }
    if (!trusted(folder, problem)) {
        return false;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        *missing = true;
        return true;
    }
    // Root's own plain file that nobody else may change; anything else was not written by us.
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()
        || (info.st_mode & 022) != 0 || info.st_size > maxSize) {
        *problem = QStringLiteral("%1 is not a file of the service's own that only it may change").arg(path);
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    QFile file;
    const bool opened = file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    *data = opened ? file.read(maxSize + 1) : QByteArray();
    if (!opened) {
        ::close(fd);
    }
    if (!opened || data->size() > maxSize) {
        *problem = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    return true;
}

} // namespace StateFolder

#endif
