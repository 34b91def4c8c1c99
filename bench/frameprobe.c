// Loaded with LD_PRELOAD into the program under measurement: appends the monotonic time of every
// buffer swap (one decimal nanosecond count per line) to the file named by BENCH_FRAME_LOG, so
// that the first frame of a window is seen the same way for the client and for the floor.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static int logFd = -1;

__attribute__((constructor)) static void openLog(void)
{
    const char* path = getenv("BENCH_FRAME_LOG");
    if (path != NULL) {
        logFd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }
    // Programs the measured one starts are not measured.
    unsetenv("LD_PRELOAD");
    unsetenv("BENCH_FRAME_LOG");
}

static void noteSwap(void)
{
    if (logFd < 0) {
        return;
    }
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[32];
    const int length = snprintf(line, sizeof line, "%lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
    if (write(logFd, line, (size_t)length) < 0) {
        logFd = -1;
    }
}

void glXSwapBuffers(void* display, unsigned long drawable)
{
    static void (*real)(void*, unsigned long);
    if (real == NULL) {
        // POSIX form of turning the looked-up address into a function pointer.
        *(void**)&real = dlsym(RTLD_NEXT, "glXSwapBuffers");
    }
    real(display, drawable);
    noteSwap();
}

unsigned int eglSwapBuffers(void* display, void* surface)
{
    static unsigned int (*real)(void*, void*);
    if (real == NULL) {
        *(void**)&real = dlsym(RTLD_NEXT, "eglSwapBuffers");
    }
    const unsigned int result = real(display, surface);
    noteSwap();
    return result;
}
