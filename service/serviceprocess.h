#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// The door to the service's own process and the processes it starts.
namespace ServiceProcess {

// Sets up the service's process before it serves. Linux: drops root's supplementary groups (they
// would count while a user's file is opened with that user's rights), raises the descriptor limit
// to what the connection caps need, and ignores SIGPIPE (a client gone mid-write must not end the
// service). Windows: nothing; the service manager's stop takes the place of SIGTERM.
void prepare(quint64 descriptorsNeeded);

// The service's life under the system's service manager. Linux: systemd runs the process as it is
// and SIGTERM arrives through QuitSignals, so nothing happens here. Windows: where the service
// manager started the process, connects to it (its dispatcher on a thread of its own); its stop and
// shutdown controls call requestQuit once, on that thread. Started otherwise, the service runs in
// the foreground for development, and Ctrl+C calls requestQuit. False, with *error, when the
// manager started the process but the connection failed.
bool attachToManager(const std::function<void()>& requestQuit, QString* error);
// The service serves now.
void reportServing();
// The service has ended, after it has put the machine back: the last thing it reports.
void reportStopped(int exitCode);

// The processor time this thread has used, in milliseconds: what a command cost the service itself.
double threadCpuMs();

// Whether the process with this id may still be running; a folder it made is kept while it does.
bool mayBeRunning(qint64 pid);

// Between fork and exec of a program the service starts (Linux only; nothing on Windows): its
// output goes to outputFd when that is open, it leads a process group of its own, it ends with the
// service, and SIGPIPE is back to its default. outputCap: what it may add to that file (0: no cap).
void prepareChild(int outputFd, qint64 outputCap = 0);

// Stops (kill: kills) the process group that pid leads. False where the system has no process
// groups (Windows): the caller ends the process alone then.
bool signalGroup(qint64 pid, bool kill);

} // namespace ServiceProcess
