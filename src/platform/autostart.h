#pragma once

#include <QString>

#include <functional>

class QObject;

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

// Starts the check whether the privileged service process is running, from the tool's list of
// process captions; `done` gets the answer (false when the tool fails or hangs). The run is a child
// of `context` and ends with it.
void checkVpnServiceRunning(
    QObject* context, const std::function<void(bool)>& done, int timeoutMs = processListTimeoutMs);

// True when one line of a "wmic PROCESS get Caption" listing, white space simplified, is exactly
// `caption` (case-sensitive).
bool processListContains(const QString& listing, const QString& caption);
