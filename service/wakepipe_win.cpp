// The Windows side of the wake pipe: none yet (a socket notifier there takes a socket, not a pipe),
// so the readings that need it are refused rather than left waiting for their deadline.
#include "wakepipe.h"

#ifdef Q_OS_WIN

namespace WakePipe {

bool open(int ends[2])
{
    ends[0] = ends[1] = -1;
    return false;
}

void wake(int) { }

void close(int ends[2])
{
    ends[0] = ends[1] = -1;
}

} // namespace WakePipe

#endif
