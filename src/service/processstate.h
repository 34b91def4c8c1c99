#pragma once

// Where a program run by vpn-service stands, as far as the service has reported. Unscoped so
// that it compares with the int that ServiceProcess::state() returns.
enum ProcessState : int
{
    NotRunning = 0,
    Starting = 1,
    Running = 2
};
