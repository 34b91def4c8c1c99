// The Windows side of the instance lock: LockFileEx, released by the system with the handle.
#include "instancelock.h"

#ifdef Q_OS_WIN

#include <QDir>

#include <windows.h>

void InstanceLock::release()
{
    if (handle != nullptr) {
        CloseHandle(static_cast<HANDLE>(handle));
        handle = nullptr;
    }
}

InstanceLock::Result InstanceLock::tryLock(const QString& path)
{
    release();
    error.clear();
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = QStringLiteral("CreateFile failed with error %1").arg(GetLastError());
        return Result::Unavailable;
    }
    OVERLAPPED start {};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start)) {
        const DWORD cause = GetLastError();
        CloseHandle(file);
        if (cause == ERROR_LOCK_VIOLATION || cause == ERROR_IO_PENDING) {
            return Result::HeldElsewhere;
        }
        error = QStringLiteral("LockFileEx failed with error %1").arg(cause);
        return Result::Unavailable;
    }
    handle = file;
    return Result::Acquired;
}

#endif
