#pragma once

#include <QStringList>

// What a tunnel leaves on a persistent VPN adapter (Windows' TAP adapter; on Linux one made by hand,
// as OpenVPN's own interface goes with it, its addresses and routes included): OpenVPN takes its
// addresses and routes away only when it ends in order. Once no program holds an adapter, it is
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
