// The Linux side of the wake pipe: pipe2, non-blocking and closed on exec.
#include "wakepipe.h"

#ifndef Q_OS_WIN

#include <fcntl.h>
#include <unistd.h>

namespace WakePipe {

bool open(int ends[2])
{
    return ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0;
}

void wake(int writeEnd)
{
    const char byte = 1;
    (void)!::write(writeEnd, &byte, 1);
}

void close(int ends[2])
{
    for (int i = 0; i < 2; ++i) {
        if (ends[i] >= 0) {
            ::close(ends[i]);
            ends[i] = -1;
        }
    }
}

} // namespace WakePipe

#endif
