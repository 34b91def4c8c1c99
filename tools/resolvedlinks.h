#pragma once

#include "resolverconfig.h"

#include <QString>
#include <QStringList>

// The tunnel's resolvers where systemd-resolved manages them: the tunnel's interface gets the
// tunnel's servers and the routing domain "~.", so that every name is asked there and nowhere else.
// The links configured are recorded, so that "user" reverts exactly those and never a link that
// another program (a network manager) configured. A link goes with its interface, and so does its
// configuration: a tunnel that ended leaves nothing behind.
namespace ResolvedLinks {

// Where the tool looks; the tool uses the system's places, tests their own.
struct Host
{
    QString resolvConf = QStringLiteral("/etc/resolv.conf");
    QString resolveFolder = QStringLiteral("/run/systemd/resolve");
    // Empty when it is not installed.
    QString resolvectl;
    QString stateFile = QStringLiteral("/run/vpn-dns-links");
    QString procFolder = QStringLiteral("/proc");
    QString netFolder = QStringLiteral("/sys/class/net");
};

// The system's places, with resolvectl from the system folders.
Host systemHost();

// Whether systemd-resolved answers the host's names: its folder is there and resolv.conf either
// lies in it or names its stub listener alone.
bool isActive(const Host& host);

// The TUN/TAP interfaces that an OpenVPN process of this network namespace holds, by name.
QStringList openVpnInterfaces(const Host& host);

// "vpn": the links named by interface name in the request (each must be a TUN/TAP interface), or
// the ones OpenVPN holds when none is named. "user": reverts the recorded links that still exist;
// nothing to do without a record. Returns an error text on failure.
QString apply(const Host& host, const ResolverConfig::Request& request);

} // namespace ResolvedLinks
