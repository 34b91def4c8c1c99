#pragma once

#include <QString>

#include <functional>

class QObject;

// Whether the privileged service is running, asked without blocking the window.
// Windows: its process in the process list ("wmic PROCESS get Caption").
// Linux: its own socket, 127.0.0.1:6447, accepts a connection.

// How long the check may wait for the tool to start, and again for it to finish (or for the connection).
constexpr int processListTimeoutMs = 30000;

// Starts the check; `done` gets the answer (false when the tool fails or hangs, or nothing answers).
// The check is a child of `context` and ends with it.
void checkVpnServiceRunning(
    QObject* context, const std::function<void(bool)>& done, int timeoutMs = processListTimeoutMs);

// Windows side: true when one line of a "wmic PROCESS get Caption" listing, white space simplified,
// is exactly `caption` (case-sensitive).
bool processListContains(const QString& listing, const QString& caption);
