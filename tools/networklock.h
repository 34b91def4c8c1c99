#pragma once

#include "killswitchrules.h"

#include <QString>

// The door to the system's packet filter for killswitch. Linux: the nftables tables of
// killswitchrules.h, in one transaction. Windows: the filtering platform's persistent sublayers and
// filters of wfpfilters.h, in one transaction, read back after the commit.
namespace NetworkLock {

// Makes the system's lock what the request asks. Empty on success, otherwise why it is not.
QString apply(const KillSwitchRules::Request& request);

} // namespace NetworkLock
