// The Windows side of the service's process: no groups to drop, no signals, no process groups.
#include "serviceprocess.h"

#ifdef Q_OS_WIN

// clang-format off
#include <windows.h>
// clang-format on

namespace ServiceProcess {

void prepare(quint64 descriptorsNeeded)
{
    Q_UNUSED(descriptorsNeeded)
}

double threadCpuMs()
{
    FILETIME created = {};
    FILETIME exited = {};
    FILETIME kernel = {};
    FILETIME user = {};
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) {
        return 0.0;
    }
    const auto ticks = [](const FILETIME& time) {
        return (quint64(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    // In units of 100 ns.
    return double(ticks(kernel) + ticks(user)) / 1e4;
}

bool mayBeRunning(qint64 pid)
{
    // The folder goes with the run; a left-over stays until the next boot's clean-up.
    Q_UNUSED(pid)
    return true;
}

void prepareChild(int outputFd, qint64 outputCap)
{
    Q_UNUSED(outputFd)
    Q_UNUSED(outputCap)
}

bool signalGroup(qint64 pid, bool kill)
{
    Q_UNUSED(pid)
    Q_UNUSED(kill)
    return false;
}

} // namespace ServiceProcess

#endif
