#pragma once

#include <QString>

// A lock on a file, held from tryLock() until the object goes: one holder per file at a time. The
// system lets go when the holding process ends, a crash included, so no stale lock is ever left
// to be judged. Nothing is written or synced to the disk on the way to the first window.
// Windows: LockFileEx on the file. Linux: flock(2) on a file of the user's own.
class InstanceLock
{
public:
    enum class Result
    {
        Acquired,
        HeldElsewhere,
        // No lock can be had: the file cannot be made or opened, or belongs to another user.
        Unavailable,
    };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Result tryLock(const QString& path);
    // Why the last tryLock() gave Unavailable.
    QString errorString() const;

private:
    void release();

#ifdef Q_OS_WIN
    void* handle = nullptr;
#else
    int fd = -1;
#endif
    QString error;
};
