#pragma once

#include <QString>

#include <functional>

class QObject;

// Whether the privileged service is running, asked without blocking the window.
// Windows: its process in the process list ("wmic PROCESS get Caption").
// Linux: the kernel names the system's account as the owner of the listener on 127.0.0.1:6447
// (no connection is made).

// How long the check may wait for the tool to start, and again for it to finish (or for the connection).
constexpr int processListTimeoutMs = 30000;

// Starts the check; `done` gets the answer (false when the tool fails or hangs, or nothing answers).
// The check is a child of `context` and ends with it.
void checkVpnServiceRunning(
    QObject* context, const std::function<void(bool)>& done, int timeoutMs = processListTimeoutMs);

// Who holds the listener that takes connections to 127.0.0.1:port, asked of the kernel without
// connecting: the service (the system's account, root or LocalSystem, or this user's own program),
// nobody known, or another user (holder names it).
enum class PortHolder
{
    Service,
    Nobody,
    Other
};
PortHolder servicePortHolder(quint16 port, QString* holder);
// The same for the other end of this program's connection from 127.0.0.1:localPort to
// 127.0.0.1:port, the socket it really reached: the listener may have changed hands between the
// question above and the connection.
PortHolder serviceConnectionHolder(quint16 localPort, quint16 port, QString* holder);

// Windows side: true when one line of a "wmic PROCESS get Caption" listing, white space simplified,
// is exactly `caption` (case-sensitive).
bool processListContains(const QString& listing, const QString& caption);
