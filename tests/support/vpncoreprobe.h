// The real connection controller with its report slots open: the tests play the tunnel through them.
#pragma once

#include "connection/vpncore.h"

class VpnCoreProbe : public VpnCore
{
public:
    using VpnCore::onByteCountChanged;
    using VpnCore::onRequestCurrentIpAddressFinished;
    using VpnCore::onVpnConnectionStateChanged;
    using VpnCore::VpnCore;
};
