// The Linux side of the service's process: groups, limits and signals.
#include "serviceprocess.h"

#ifndef Q_OS_WIN

#include "foundation/logtag.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <grp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ServiceProcess {

void prepare(quint64 descriptorsNeeded)
{
    ::signal(SIGPIPE, SIG_IGN);
    if (::geteuid() == 0 && ::setgroups(0, nullptr) != 0) {
        tagged(qWarning(), QStringLiteral("Main")) << "Cannot drop supplementary groups";
    }
    // The limit is LimitNOFILE of the unit; the caps leave room for the programs' pipes, the log and
    // the user files of a run.
    const rlim_t needed = descriptorsNeeded;
    rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return;
    }
    if (limit.rlim_cur < needed && limit.rlim_max >= needed) {
        limit.rlim_cur = needed;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < needed) {
        tagged(qWarning(), QStringLiteral("Main"))
            << "Descriptor limit " << limit.rlim_cur << " is below the " << needed << " the connection caps need";
    }
}

bool attachToManager(const std::function<void()>& requestQuit, QString* error)
{
    Q_UNUSED(requestQuit)
    Q_UNUSED(error)
    return true;
}

void reportServing() { }

void reportStopped(int exitCode)
{
    Q_UNUSED(exitCode)
}

double threadCpuMs()
{
    timespec now = {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

bool mayBeRunning(qint64 pid)
{
    return pid == QCoreApplication::applicationPid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

void prepareChild(int outputFd, qint64 outputCap)
{
    if (outputFd >= 0) {
        ::dup2(outputFd, STDOUT_FILENO);
        ::dup2(outputFd, STDERR_FILENO);
        // What the program adds to the file is capped (OpenVPN writes no other file): beyond the cap
        // its writes fail, and it runs on.
        struct stat info = {};
        if (outputCap > 0 && ::fstat(outputFd, &info) == 0) {
            const rlim_t cap = rlim_t(info.st_size) + rlim_t(outputCap);
            const rlimit limit = { cap, cap };
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::signal(SIGXFSZ, SIG_IGN);
        }
    }
    // Nobody could stop it once the service is gone: a new service instance does not know it, and
    // the client sends "init: connection" only once.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::setpgid(0, 0);
    // The service ignores SIGPIPE; an ignored signal would stay ignored across exec.
    ::signal(SIGPIPE, SIG_DFL);
}

bool signalGroup(qint64 pid, bool kill)
{
    if (pid <= 0) {
        return false;
    }
    ::kill(static_cast<pid_t>(-pid), kill ? SIGKILL : SIGTERM);
    return true;
}

} // namespace ServiceProcess

#endif
