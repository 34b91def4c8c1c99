#include "uplinkstate_linux.h"

#ifndef Q_OS_WIN

#include <cstring>
#include <iterator>

#include <net/if.h>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>

namespace {

// The attributes of a message, bounded by its payload; false (after visiting those before it) when
// one is malformed.
template <typename Visit> bool forEachAttribute(const unsigned char* at, std::size_t size, Visit visit)
{
    while (size >= sizeof(rtattr)) {
        rtattr header;
        std::memcpy(&header, at, sizeof header);
        if (header.rta_len < sizeof(rtattr) || header.rta_len > size) {
            return false;
        }
        visit(header.rta_type & NLA_TYPE_MASK, at + RTA_LENGTH(0), header.rta_len - RTA_LENGTH(0));
        const std::size_t step = RTA_ALIGN(header.rta_len);
        if (step >= size) {
            return true;
        }
        at += step;
        size -= step;
    }
    return size == 0;
}

// The attributes after a fixed header of `fixed` bytes.
template <typename Visit>
bool forEachAttributeAfter(std::size_t fixed, const unsigned char* payload, std::size_t size, Visit visit)
{
    const std::size_t skip = NLMSG_ALIGN(fixed);
    return size >= skip && forEachAttribute(payload + skip, size - skip, visit);
}

QByteArray text(const unsigned char* data, std::size_t size)
{
    const auto* begin = reinterpret_cast<const char*>(data);
    return QByteArray(begin, static_cast<int>(strnlen(begin, size)));
}

std::uint32_t u32(const unsigned char* data, std::size_t size)
{
    std::uint32_t value = 0;
    if (size == sizeof value) {
        std::memcpy(&value, data, sizeof value);
    }
    return value;
}

bool tunnelName(const QByteArray& name)
{
    return name.startsWith("tun") || name.startsWith("tap");
}

} // namespace

UplinkState::Outcome UplinkState::consume(const void* data, std::size_t size)
{
    Outcome outcome;
    const auto* at = static_cast<const unsigned char*>(data);
    while (size >= sizeof(nlmsghdr)) {
        nlmsghdr header;
        std::memcpy(&header, at, sizeof header);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > size) {
            break;
        }
        const unsigned char* payload = at + NLMSG_HDRLEN;
        const std::size_t payloadSize = header.nlmsg_len - NLMSG_HDRLEN;
        bool changed = false;
        switch (header.nlmsg_type) {
        case NLMSG_DONE:
        case NLMSG_ERROR:
            outcome.dumpDone = header.nlmsg_seq;
            break;
        case RTM_NEWLINK:
        case RTM_DELLINK:
            changed = onLink(header.nlmsg_type, payload, payloadSize);
            break;
        case RTM_NEWROUTE:
        case RTM_DELROUTE:
            changed = onRoute(header.nlmsg_type, header.nlmsg_flags, payload, payloadSize);
            break;
        default:
            break;
        }
        // Notifications name the sequence of whoever asked for the change: a dump's parts are marked.
        outcome.changed = outcome.changed || (changed && (header.nlmsg_flags & NLM_F_MULTI) == 0);
        const std::size_t step = NLMSG_ALIGN(header.nlmsg_len);
        if (step >= size) {
            break;
        }
        at += step;
        size -= step;
    }
    return outcome;
}

bool UplinkState::isUplink(int index) const
{
    for (auto it = defaultRoutes.cbegin(); it != defaultRoutes.cend(); ++it) {
        if (it.value() == index) {
            return true;
        }
    }
    return false;
}

bool UplinkState::isTunnel(int index) const
{
    const auto link = links.constFind(index);
    if (link != links.cend()) {
        return link->tunnel;
    }
    char name[IF_NAMESIZE] = {};
    return if_indextoname(static_cast<unsigned>(index), name) != nullptr && tunnelName(name);
}

bool UplinkState::onLink(std::uint16_t type, const unsigned char* payload, std::size_t size)
{
    if (size < sizeof(ifinfomsg)) {
        return false;
    }
    ifinfomsg info;
    std::memcpy(&info, payload, sizeof info);
    if ((info.ifi_flags & IFF_LOOPBACK) != 0) {
        return false;
    }
    const bool uplink = isUplink(info.ifi_index);
    if (type == RTM_DELLINK) {
        links.remove(info.ifi_index);
        // IPv4 drops the routes of a removed link without a word.
        for (auto it = defaultRoutes.begin(); it != defaultRoutes.end();) {
            it = it.value() == info.ifi_index ? defaultRoutes.erase(it) : std::next(it);
        }
        return uplink;
    }
    QByteArray name;
    QByteArray kind;
    const bool wellFormed = forEachAttributeAfter(
        sizeof info, payload, size, [&](unsigned attribute, const unsigned char* value, std::size_t length) {
            if (attribute == IFLA_IFNAME) {
                name = text(value, length);
            } else if (attribute == IFLA_LINKINFO) {
                forEachAttribute(value, length, [&](unsigned inner, const unsigned char* data, std::size_t bytes) {
                    if (inner == IFLA_INFO_KIND) {
                        kind = text(data, bytes);
                    }
                });
            }
        });
    if (!wellFormed) {
        return false;
    }
    Link link;
    link.tunnel = kind == "tun" || tunnelName(name);
    link.running = (info.ifi_flags & IFF_UP) != 0 && (info.ifi_flags & IFF_RUNNING) != 0;
    const auto known = links.constFind(info.ifi_index);
    const bool flipped = known != links.cend() && known->running != link.running;
    if (known != links.cend() || links.size() < maxLinks) {
        links.insert(info.ifi_index, link);
    }
    return flipped && uplink && !link.tunnel;
}

bool UplinkState::onRoute(std::uint16_t type, std::uint16_t flags, const unsigned char* payload, std::size_t size)
{
    if (size < sizeof(rtmsg)) {
        return false;
    }
    rtmsg route;
    std::memcpy(&route, payload, sizeof route);
    if (route.rtm_dst_len != 0 || (route.rtm_family != AF_INET && route.rtm_family != AF_INET6)
        || route.rtm_type != RTN_UNICAST) {
        return false;
    }
    std::uint32_t table = route.rtm_table;
    std::uint32_t priority = 0;
    int index = 0;
    QByteArray gateway;
    const bool wellFormed = forEachAttributeAfter(
        sizeof route, payload, size, [&](unsigned attribute, const unsigned char* value, std::size_t length) {
            if (attribute == RTA_TABLE) {
                table = u32(value, length);
            } else if (attribute == RTA_PRIORITY) {
                priority = u32(value, length);
            } else if (attribute == RTA_OIF) {
                index = static_cast<int>(u32(value, length));
            } else if (attribute == RTA_GATEWAY && length <= 16) {
                gateway = QByteArray(reinterpret_cast<const char*>(value), static_cast<int>(length));
            }
        });
    if (!wellFormed || table != RT_TABLE_MAIN || (index != 0 && isTunnel(index))) {
        return false;
    }
    // Two routes of one family and priority are one route to the kernel, which a replace swaps.
    QByteArray group;
    group.append(static_cast<char>(route.rtm_family));
    group.append(reinterpret_cast<const char*>(&priority), sizeof priority);
    QByteArray key = group;
    key.append(reinterpret_cast<const char*>(&index), sizeof index);
    key.append(gateway);
    if (type == RTM_DELROUTE) {
        return defaultRoutes.remove(key) > 0;
    }
    bool replacedOther = false;
    if ((flags & NLM_F_REPLACE) != 0) {
        for (auto it = defaultRoutes.begin(); it != defaultRoutes.end();) {
            if (it.key().startsWith(group) && it.key() != key) {
                replacedOther = true;
                it = defaultRoutes.erase(it);
            } else {
                ++it;
            }
        }
    }
    const bool added = !defaultRoutes.contains(key) && defaultRoutes.size() < maxDefaultRoutes;
    if (added) {
        defaultRoutes.insert(key, index);
    }
    return added || replacedOther;
}

#endif
