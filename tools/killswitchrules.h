#pragma once

#include <QString>
#include <QStringList>

// The network lock as one nftables table of its own: everything leaving or reaching the machine is
// dropped except loopback, the tunnel interfaces, the VPN server and, on request, the local network.
namespace KillSwitchRules {

// The table the lock lives in; removing it lifts the lock.
extern const char* const tableFamily;
extern const char* const tableName;

struct Request
{
    enum Action
    {
        Enable,
        Disable
    };
    Action action = Disable;
    QString server; // IPv4 or IPv6 address
    bool allowLocal = false;
};

// "enable all SERVER [local|\"\"]" or "disable all", nothing else. Returns an error text when
// the arguments are not one of those.
QString parse(const QStringList& arguments, Request* request);

// One nftables transaction that replaces whatever lock is in place (or removes it), so running
// it twice leaves the same rules as once.
QString nftScript(const Request& request);

} // namespace KillSwitchRules
