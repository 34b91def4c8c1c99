#pragma once

#include <QString>
#include <QStringList>

// What a client may have the kill switch tool do: its own lock and the guard of a running tunnel.
// Lockdown is the service's own, changed only through its command, and the guard of a running
// tunnel goes only with the tunnel.
namespace KillSwitchFilter {

// arguments: the client's, after the program. tunnelRunning: whether an OpenVPN runs. Returns what
// the tool runs; empty with the reason in error when refused.
QStringList clientArguments(const QStringList& arguments, bool tunnelRunning, QString* error);

} // namespace KillSwitchFilter
