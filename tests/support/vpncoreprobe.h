// The real connection controller, open to the tests: they play the tunnel's reports through its
// slots, and every call a window makes is recorded in "calls" before it goes on to the controller.
#pragma once

#include "connection/vpncore.h"

class VpnCoreProbe : public VpnCore
{
    Q_OBJECT
    Q_PROPERTY(QStringList calls MEMBER m_calls)
    QStringList m_calls;

public:
    using VpnCore::onByteCountChanged;
    using VpnCore::onRequestCurrentIpAddressFinished;
    using VpnCore::onVpnConnectionStateChanged;
    using VpnCore::updateOnlineTime;
    using VpnCore::VpnCore;

    Q_INVOKABLE void connectToVpn()
    {
        m_calls << QStringLiteral("connectToVpn");
        VpnCore::connectToVpn();
    }
    Q_INVOKABLE void disconnectFromVpn()
    {
        m_calls << QStringLiteral("disconnectFromVpn");
        VpnCore::disconnectFromVpn();
    }
    Q_INVOKABLE void setVpnServerIp(const QString& ip)
    {
        m_calls << QStringLiteral("setVpnServerIp %1").arg(ip);
        VpnCore::setVpnServerIp(ip);
    }
};
