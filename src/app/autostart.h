#pragma once

// Registration of the client in the per-user Run key, read and written live.
class AutoStart
{
public:
    static bool isEnabled();
    static bool setEnabled(bool enable);
};

// Whether the privileged service process is running.
bool isVpnServiceRunning();
