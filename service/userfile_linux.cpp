// The Linux side of the user's files: opened with the user's file system ids, checked through the
// descriptor.
#include "userfile.h"

#ifndef Q_OS_WIN

#include "servicelog.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

QString systemError(int code)
{
    return code == ELOOP ? QStringLiteral("symbolic link") : QString::fromLocal8Bit(std::strerror(code));
}

// For its lifetime this thread reaches files as the user: the file system ids change (and with
// them root's file capabilities go), nothing else does.
class UserRights
{
public:
    explicit UserRights(qint64 uid)
    {
        if (::geteuid() != 0 || uid == 0) {
            active = true; // already the user's rights, or root's own
            return;
        }
        long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buffer(static_cast<size_t>(size > 0 ? qMax(size, 16384L) : 16384L));
        passwd entry = {};
        passwd* found = nullptr;
        if (::getpwuid_r(static_cast<uid_t>(uid), &entry, buffer.data(), buffer.size(), &found) != 0
            || found == nullptr) {
            return;
        }
        ::setfsgid(found->pw_gid);
        ::setfsuid(static_cast<uid_t>(uid));
        // setfsuid reports no failure itself; asking with an invalid id returns the current one.
        changed = true;
        active = static_cast<qint64>(::setfsuid(static_cast<uid_t>(-1))) == uid
            && ::setfsgid(static_cast<gid_t>(-1)) == static_cast<int>(found->pw_gid);
    }
    ~UserRights()
    {
        if (changed) {
            ::setfsuid(::geteuid());
            ::setfsgid(::getegid());
        }
    }
    UserRights(const UserRights&) = delete;
    UserRights& operator=(const UserRights&) = delete;

    bool active = false;

private:
    bool changed = false;
};

} // namespace

namespace UserFile {

int open(const QString& path, int flags, qint64 uid, const QString& what, QString* error)
{
    const QString shown = ServiceLog::printable(path);
    if (path.isEmpty() || !QDir::isAbsolutePath(path)) {
        *error = QStringLiteral("%1 %2 is not an absolute path").arg(what, shown);
        return -1;
    }
    if (uid < 0) {
        *error = QStringLiteral("%1 %2: the client's user is unknown").arg(what, shown);
        return -1;
    }
    const UserRights rights(uid);
    if (!rights.active) {
        *error = QStringLiteral("%1 %2: cannot take on the rights of uid %3").arg(what, shown).arg(uid);
        return -1;
    }
    // O_PATH names the file without opening it: a FIFO does not block, a device's driver is not
    // called. Only the checks below decide whether it is opened for real.
    const int named = ::open(QFile::encodeName(path).constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (named < 0) {
        *error = QStringLiteral("%1 %2 cannot be opened by the client's user: %3").arg(what, shown, systemError(errno));
        return -1;
    }
    struct stat info = {};
    QString problem;
    int fd = -1;
    if (::fstat(named, &info) != 0) {
        problem = systemError(errno);
    } else if (S_ISLNK(info.st_mode)) {
        // O_PATH with O_NOFOLLOW names the link itself rather than failing.
        problem = QStringLiteral("symbolic link");
    } else if (!S_ISREG(info.st_mode)) {
        problem = QStringLiteral("not a regular file");
    } else if (static_cast<qint64>(info.st_uid) != uid) {
        problem = QStringLiteral("owned by uid %1, not by the client's user (uid %2)").arg(info.st_uid).arg(uid);
    } else {
        // The very file checked, reopened through its descriptor, with the user's rights still.
        // Without blocking: a lease the user holds on it makes open() wait for the lease-break
        // time otherwise; with O_NONBLOCK it fails at once instead.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(named);
        fd = ::open(self.constData(), (flags & ~O_CREAT) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        struct stat opened = {};
        if (fd < 0) {
            problem = errno == EWOULDBLOCK ? QStringLiteral("leased by another program") : systemError(errno);
        } else if (::fstat(fd, &opened) != 0 || opened.st_dev != info.st_dev || opened.st_ino != info.st_ino) {
            problem = QStringLiteral("changed while it was opened");
        }
    }
    ::close(named);
    if (!problem.isEmpty()) {
        if (fd >= 0) {
            ::close(fd);
        }
        *error = QStringLiteral("%1 %2: %3").arg(what, shown, problem);
        return -1;
    }
    return fd;
}

} // namespace UserFile

#endif
