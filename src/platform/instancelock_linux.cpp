// The Linux side of the instance lock: flock(2), released by the kernel with the last descriptor.
#include "instancelock.h"

#ifndef Q_OS_WIN

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

void InstanceLock::release()
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

InstanceLock::Result InstanceLock::tryLock(const QString& path)
{
    release();
    error.clear();
    // In a shared temporary folder someone else may have put a file or a link there first: only a
    // plain file of our own counts, or another user could keep the client from starting.
    const int opened = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (opened < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return Result::Unavailable;
    }
    struct stat status
    {
    };
    if (::fstat(opened, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid()) {
        ::close(opened);
        error = QStringLiteral("not a file of this user");
        return Result::Unavailable;
    }
    if (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
        const int cause = errno;
        ::close(opened);
        if (cause == EWOULDBLOCK) {
            return Result::HeldElsewhere;
        }
        error = QString::fromLocal8Bit(std::strerror(cause));
        return Result::Unavailable;
    }
    fd = opened;
    return Result::Acquired;
}

#endif
