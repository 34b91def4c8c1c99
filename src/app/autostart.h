#pragma once

#include <QString>

// Registration of the client in the per-user Run key, read and written live.
class AutoStart
{
public:
    static const QString runKeyPath;

    // Whether the Run key holds this executable's quoted native path under its base name.
    static bool isEnabled();
    // Writes or removes the registration; returns isEnabled() as read back afterwards.
    static bool setEnabled(bool enable);

private:
    static QString valueName();
    static QString valueData();
    static bool isRegistered();
};

// How long the process check may wait for the tool to start, and again for it to finish.
constexpr int processListTimeoutMs = 30000;

// Whether the privileged service process is running, from the tool's list of process captions.
bool isVpnServiceRunning(int timeoutMs = processListTimeoutMs);

// True when one line of a "wmic PROCESS get Caption" listing, white space simplified, is exactly
// `caption` (case-sensitive).
bool processListContains(const QString& listing, const QString& caption);
