#pragma once

#include "killswitchrules.h"

#include <QString>

// The door to the system's packet filter for killswitch. Linux: the nftables tables of
// killswitchrules.h, in one transaction. Windows: the filtering platform's sublayer, not built yet,
// so every request is refused there.
namespace NetworkLock {

// Makes the system's lock what the request asks. Empty on success, otherwise why it is not.
QString apply(const KillSwitchRules::Request& request);

} // namespace NetworkLock
