#pragma once

#include <QByteArray>
#include <QHash>

#include <cstddef>
#include <cstdint>

// What the host's routing looks like to the network-change watch: the links by index (name, tunnel
// or not, running) and the default routes of the main table on links that are not tunnels. It
// reads datagrams of rtnetlink messages, strictly and within their bounds: a malformed message ends
// the datagram, and the tables hold at most a fixed number of entries.
class UplinkState
{
public:
    struct Outcome
    {
        // A notification changed a default route or the state of an uplink.
        bool changed = false;
        // The sequence number of a dump that ended in this datagram, 0 for none.
        std::uint32_t dumpDone = 0;
    };

    // Replies to a dump (parts of a multipart message) set the starting state and are never a change.
    Outcome consume(const void* data, std::size_t size);

    bool isUplink(int index) const;

    static constexpr int maxLinks = 1024;
    static constexpr int maxDefaultRoutes = 256;

private:
    struct Link
    {
        bool tunnel = false;
        bool running = false;
    };

    bool onLink(std::uint16_t type, const unsigned char* payload, std::size_t size);
    bool onRoute(std::uint16_t type, std::uint16_t flags, const unsigned char* payload, std::size_t size);
    bool isTunnel(int index) const;

    QHash<int, Link> links;
    // Family, priority, interface and gateway of each default route -> its interface.
    QHash<QByteArray, int> defaultRoutes;
};
