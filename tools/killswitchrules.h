#pragma once

#include <QString>
#include <QStringList>

// The network lock as nftables tables of their own: everything leaving or reaching the machine is
// dropped except loopback, the tunnel interfaces, the VPN servers and, on request, the local
// network. A packet must pass every table in place, so the tables add up and never open what
// another one closes:
//   the lock (vpnc_killswitch)      the client's, held by the user's choice through losses
//   the tunnel guard (vpnc_tunnel)  while a tunnel runs, whatever the user chose: nothing leaves
//                                   beside it, of a family the tunnel does not carry neither
//   lockdown (vpnc_lockdown)        the service's, from its start until lockdown is turned off
namespace KillSwitchRules {

// All three live in this family.
extern const char* const tableFamily;

struct Request
{
    enum Action
    {
        Enable,
        Disable
    };
    enum Scope
    {
        Lock, // "all" when enabling
        Tunnel,
        Lockdown,
        Everything // "disable all": every table of the tool
    };
    Action action = Disable;
    Scope scope = Everything;
    // The addresses let through (IPv4 or IPv6); one for the lock and the tunnel guard.
    QStringList servers;
    bool allowLocal = false;
};

// The table of a scope (none for Everything).
QString tableName(Request::Scope scope);

// Exactly one of:
//   enable all SERVER [local|""]        disable all     (every table)
//   enable tunnel SERVER [local|""]     disable tunnel
//   enable lockdown ADDRESS... [local]  disable lockdown
//                                       disable lock    (the lock alone)
// Returns an error text when the arguments are none of those.
QString parse(const QStringList& arguments, Request* request);

// One nftables transaction that replaces whatever the scope's table holds (or removes it), so
// running it twice leaves the same rules as once.
QString nftScript(const Request& request);

} // namespace KillSwitchRules
