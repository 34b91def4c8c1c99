#include "latencyprobe.h"

#ifdef Q_OS_WIN

// Windows has no unprivileged echo socket: the TCP connect is the measurement.

bool LatencyProbe::echoAllowed(bool)
{
    return false;
}

bool LatencyProbe::startEcho()
{
    return false;
}

void LatencyProbe::readEcho() { }

void LatencyProbe::stopEcho() { }

#endif
