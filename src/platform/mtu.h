#pragma once

#include "platform/networkadapter.h"

#include <QStringList>

// The MTU the user chose for the tunnel's interface (0 or less: "Auto").
// Windows: set on every TAP adapter, persistently, when the user changes it.
// Linux: given to OpenVPN for the interface it makes, in the configuration of each run.
namespace Mtu {

// The MTU applied for "Auto" on Windows.
constexpr qint32 automaticMtu = 1500;
// How long setting it on one adapter may take.
constexpr int commandTimeoutMs = 30000;

// Applies a changed MTU to the adapters (nothing to do where OpenVPN gets it for each run).
void applyToAdapters(const NetworkAdapters& adapters, qint32 mtu, int timeoutMs = commandTimeoutMs);
// The OpenVPN configuration directives that carry the MTU (none where the adapter keeps it).
QStringList openVpnDirectives(qint32 mtu);

// Windows side: the netsh arguments that set the persistent IPv4 MTU of the adapter with that index.
QStringList netshArguments(qint32 interfaceIndex, qint32 mtu);

} // namespace Mtu
