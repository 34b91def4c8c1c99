#include "servicestatus.h"

ServiceStatus::Answer ServiceStatus::control(Control control)
{
    switch (control) {
    case Control::Stop:
    case Control::Shutdown:
        if (current == State::Stopped) {
            return { true, false };
        }
        ++progress;
        if (current == State::StopPending) {
            return { true, false };
        }
        current = State::StopPending;
        return { true, true };
    case Control::Interrogate:
        return { true, false };
    case Control::Other:
        break;
    }
    return { false, false };
}

void ServiceStatus::serving()
{
    if (current == State::StartPending) {
        current = State::Running;
        progress = 0;
    }
}

void ServiceStatus::stopped(int exitCode)
{
    current = State::Stopped;
    progress = 0;
    code = exitCode;
}

ServiceStatus::State ServiceStatus::state() const
{
    return current;
}

bool ServiceStatus::acceptsStop() const
{
    return current == State::Running || current == State::StartPending;
}

quint32 ServiceStatus::checkPoint() const
{
    return current == State::StartPending || current == State::StopPending ? progress : 0;
}

int ServiceStatus::exitCode() const
{
    return code;
}
