#pragma once

#include <QtGlobal>

// What the service reports to the system's service manager through its life, decided without the
// system: a stop or shutdown asks the service to quit once, and it reports stopped only after it
// has put the machine back.
class ServiceStatus
{
public:
    enum class State
    {
        StartPending,
        Running,
        StopPending,
        Stopped
    };
    enum class Control
    {
        Stop,
        Shutdown,
        Interrogate,
        Other
    };
    struct Answer
    {
        // Whether the service handles the control at all.
        bool handled = false;
        // Whether the service must quit now: the first stop or shutdown.
        bool quit = false;
    };

    Answer control(Control control);
    // The service serves now; a stop that came first stands.
    void serving();
    // The service has ended with this exit code.
    void stopped(int exitCode);

    State state() const;
    // Whether the manager may send a stop now.
    bool acceptsStop() const;
    // Progress while starting or stopping; the manager watches it move.
    quint32 checkPoint() const;
    int exitCode() const;

private:
    State current = State::StartPending;
    quint32 progress = 0;
    int code = 0;
};
