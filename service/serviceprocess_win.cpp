// The Windows side of the service's process: the service manager's dispatcher and controls; no
// groups to drop, no signals, no process groups.
#include "serviceprocess.h"

#ifdef Q_OS_WIN

#include "servicestatus.h"

// clang-format off
#include <windows.h>
// clang-format on

#include <mutex>
#include <thread>

namespace {

// How long the manager waits for a start or a stop to move on: a stop ends OpenVPN and runs the
// tools that put the machine back.
constexpr DWORD startHintMs = 10000;
constexpr DWORD stopHintMs = 30000;

struct Manager
{
    std::mutex lock;
    ServiceStatus status;
    SERVICE_STATUS_HANDLE handle = nullptr;
    bool underManager = false;
    DWORD failure = 0;
    std::function<void()> requestQuit;
    // Set once the dispatcher has either started the service's thread or failed.
    HANDLE decided = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Set once the service has ended: the service's thread reports it and returns.
    HANDLE ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread dispatcher;
};

// Never destroyed: the manager may still call in while the process ends.
Manager& manager()
{
    static auto* instance = new Manager;
    return *instance;
}

// With the lock held.
void report(Manager& state)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    switch (state.status.state()) {
    case ServiceStatus::State::StartPending:
        status.dwCurrentState = SERVICE_START_PENDING;
        status.dwWaitHint = startHintMs;
        break;
    case ServiceStatus::State::Running:
        status.dwCurrentState = SERVICE_RUNNING;
        break;
    case ServiceStatus::State::StopPending:
        status.dwCurrentState = SERVICE_STOP_PENDING;
        status.dwWaitHint = stopHintMs;
        break;
    case ServiceStatus::State::Stopped:
        status.dwCurrentState = SERVICE_STOPPED;
        if (state.status.exitCode() != 0) {
            status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
            status.dwServiceSpecificExitCode = DWORD(state.status.exitCode());
        }
        break;
    }
    status.dwControlsAccepted = state.status.acceptsStop() ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwCheckPoint = state.status.checkPoint();
    SetServiceStatus(state.handle, &status);
}

DWORD WINAPI onControl(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context)
{
    Q_UNUSED(eventType)
    Q_UNUSED(eventData)
    Q_UNUSED(context)
    Manager& state = manager();
    const ServiceStatus::Control kind = control == SERVICE_CONTROL_STOP ? ServiceStatus::Control::Stop
        : control == SERVICE_CONTROL_SHUTDOWN                           ? ServiceStatus::Control::Shutdown
        : control == SERVICE_CONTROL_INTERROGATE                        ? ServiceStatus::Control::Interrogate
                                                                        : ServiceStatus::Control::Other;
    ServiceStatus::Answer answer;
    std::function<void()> quit;
    {
        const std::lock_guard<std::mutex> guard(state.lock);
        answer = state.status.control(kind);
        if (answer.handled && kind != ServiceStatus::Control::Interrogate) {
            report(state);
        }
        if (answer.quit) {
            quit = state.requestQuit;
        }
    }
    if (quit) {
        quit();
    }
    return answer.handled ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI serviceMain(DWORD argumentCount, LPWSTR* arguments)
{
    Q_UNUSED(argumentCount)
    Q_UNUSED(arguments)
    Manager& state = manager();
    {
        const std::lock_guard<std::mutex> guard(state.lock);
        // The name is not used for a service of its own process.
        state.handle = RegisterServiceCtrlHandlerExW(L"", onControl, nullptr);
        if (state.handle == nullptr) {
            state.failure = GetLastError();
        } else {
            state.underManager = true;
            report(state);
        }
    }
    SetEvent(state.decided);
    if (state.handle == nullptr) {
        return;
    }
    WaitForSingleObject(state.ended, INFINITE);
    const std::lock_guard<std::mutex> guard(state.lock);
    report(state);
}

BOOL WINAPI onConsoleControl(DWORD control)
{
    if (control != CTRL_C_EVENT && control != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    std::function<void()> quit;
    {
        Manager& state = manager();
        const std::lock_guard<std::mutex> guard(state.lock);
        quit = state.requestQuit;
    }
    if (quit) {
        quit();
    }
    return TRUE;
}

} // namespace

namespace ServiceProcess {

void prepare(quint64 descriptorsNeeded)
{
    Q_UNUSED(descriptorsNeeded)
}

bool attachToManager(const std::function<void()>& requestQuit, QString* error)
{
    Manager& state = manager();
    {
        const std::lock_guard<std::mutex> guard(state.lock);
        state.requestQuit = requestQuit;
    }
    // The dispatcher returns only when the service has ended; the event loop stays on this thread.
    state.dispatcher = std::thread([&state] {
        SERVICE_TABLE_ENTRYW table[] = { { const_cast<LPWSTR>(L""), serviceMain }, { nullptr, nullptr } };
        if (!StartServiceCtrlDispatcherW(table)) {
            const DWORD failure = GetLastError();
            {
                const std::lock_guard<std::mutex> guard(state.lock);
                state.failure = failure;
            }
            SetEvent(state.decided);
        }
    });
    WaitForSingleObject(state.decided, INFINITE);
    DWORD failure = 0;
    {
        const std::lock_guard<std::mutex> guard(state.lock);
        if (state.underManager) {
            return true;
        }
        failure = state.failure;
    }
    if (failure == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
        state.dispatcher.join();
        SetConsoleCtrlHandler(onConsoleControl, TRUE);
        return true;
    }
    // A dispatcher whose service never registered may wait on; the process ends without it.
    state.dispatcher.detach();
    *error = QStringLiteral("the service manager's connection failed (error %1)").arg(failure);
    return false;
}

void reportServing()
{
    Manager& state = manager();
    const std::lock_guard<std::mutex> guard(state.lock);
    state.status.serving();
    if (state.underManager) {
        report(state);
    }
}

void reportStopped(int exitCode)
{
    Manager& state = manager();
    {
        const std::lock_guard<std::mutex> guard(state.lock);
        state.status.stopped(exitCode);
        if (!state.underManager) {
            return;
        }
    }
    SetEvent(state.ended);
    state.dispatcher.join();
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
