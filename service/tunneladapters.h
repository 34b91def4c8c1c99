#pragma once

#include <QStringList>

// What a tunnel leaves on the VPN adapters: OpenVPN puts its addresses and routes on a persistent
// adapter and takes them away only when it ends in order. Once no program holds an adapter, it is
// put back as it was before the tunnel (down, no addresses, no routes), so that a new tunnel
// never meets a stale address and nothing routes into an adapter that carries nothing.
class TunnelAdapters
{
public:
    // The persistent TUN/TAP adapters that no program holds.
    static QStringList freeAdapters();
    // Clears every free adapter; returns the ones cleared.
    static QStringList clearFreeAdapters();
};
