#pragma once

#include <QtGlobal> // Q_OS_WIN, which chooses the side

// The door to the pipe a worker thread wakes the event loop through: the thread writes one byte,
// a QSocketNotifier on the read end sees it. Only the write is allowed off the event loop's thread.
namespace WakePipe {

// Opens both ends, never blocking, not inherited by programs. False where the system has no such
// pipe for a socket notifier (Windows: its notifiers take sockets only); the caller refuses then.
bool open(int ends[2]);
void wake(int writeEnd);
void close(int ends[2]);

} // namespace WakePipe
