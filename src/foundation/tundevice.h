#pragma once

#include <QString>

// The kernel's TUN device, which only the privileged service opens: it answers the client's
// question whether a tunnel can be made.
namespace TunDevice {

// Empty when the device answers as the kernel's TUN/TAP driver, or why it does not. On Windows the
// client finds its TAP adapters itself, so the answer is always empty there.
QString unavailableReason(const QString& device = QStringLiteral("/dev/net/tun"));

} // namespace TunDevice
