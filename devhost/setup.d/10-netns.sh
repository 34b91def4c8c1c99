# shellcheck shell=bash
# Development host network: a small internet of its own in network namespaces, with no link to
# the machine's own network (documentation address ranges only).
#
#   vpnc-lan (192.168.77.10) -- vpnc-client (192.0.2.2) -- vpnc-net (router) -- vpnc-server (198.51.100.1)
#                                                          203.0.113.10 API stand-in, 203.0.113.99 sink
#
# Sourced by devhost/launch.sh (or by a test with VPNC_NS_PREFIX set to get a namespace set of its
# own). Idempotent. Exports CLIENT_NETNS and NET_NETNS and runs the client inside CLIENT_NETNS.

VPNC_NS_PREFIX="${VPNC_NS_PREFIX:-vpnc}"
NET_NETNS="$VPNC_NS_PREFIX-net"
SERVER_NETNS="$VPNC_NS_PREFIX-server"
CLIENT_NETNS="$VPNC_NS_PREFIX-client"
LAN_NETNS="$VPNC_NS_PREFIX-lan"
export NET_NETNS SERVER_NETNS CLIENT_NETNS LAN_NETNS

vpnc_ensure_netns() {
    local ns="$1"
    if [ ! -e "/run/netns/$ns" ]; then
        ip netns add "$ns"
    fi
    ip -n "$ns" link set lo up
}

# vpnc_ensure_veth NS_A IF_A NS_B IF_B: one cable between two namespaces.
vpnc_ensure_veth() {
    if ! ip -n "$1" link show "$2" >/dev/null 2>&1; then
        ip link add "$2" netns "$1" type veth peer name "$4" netns "$3"
    fi
    ip -n "$1" link set "$2" up
    ip -n "$3" link set "$4" up
}

vpnc_ensure_netns "$NET_NETNS"
vpnc_ensure_netns "$SERVER_NETNS"
vpnc_ensure_netns "$CLIENT_NETNS"
vpnc_ensure_netns "$LAN_NETNS"

vpnc_ensure_veth "$NET_NETNS" vn-client "$CLIENT_NETNS" vc-uplink
vpnc_ensure_veth "$NET_NETNS" vn-server "$SERVER_NETNS" vs-uplink
vpnc_ensure_veth "$CLIENT_NETNS" vc-lan "$LAN_NETNS" vl-uplink

# The internet: routes between client and server side, and hosts the API stand-in and the sink.
ip -n "$NET_NETNS" addr replace 192.0.2.1/24 dev vn-client
ip -n "$NET_NETNS" addr replace 198.51.100.254/24 dev vn-server
# Host addresses on loopback: no dummy interface needed (not every kernel has the module).
ip -n "$NET_NETNS" addr replace 203.0.113.10/32 dev lo
ip -n "$NET_NETNS" addr replace 203.0.113.99/32 dev lo
ip netns exec "$NET_NETNS" sysctl -qw net.ipv4.ip_forward=1
# The sink counts what reaches it (leak tests read the counter with "nft list table ip vpnc_sink").
if command -v nft >/dev/null 2>&1; then
    ip netns exec "$NET_NETNS" nft -f - <<'NFT'
table ip vpnc_sink
delete table ip vpnc_sink
table ip vpnc_sink {
    chain input {
        type filter hook input priority 0; policy accept;
        ip daddr 203.0.113.99 counter
    }
}
NFT
fi

# The VPN server's uplink.
ip -n "$SERVER_NETNS" addr replace 198.51.100.1/24 dev vs-uplink
ip -n "$SERVER_NETNS" route replace default via 198.51.100.254

# The user's computer: uplink to the internet and a LAN with one device.
ip -n "$CLIENT_NETNS" addr replace 192.0.2.2/24 dev vc-uplink
ip -n "$CLIENT_NETNS" route replace default via 192.0.2.1
ip -n "$CLIENT_NETNS" addr replace 192.168.77.1/24 dev vc-lan
ip -n "$LAN_NETNS" addr replace 192.168.77.10/24 dev vl-uplink
ip -n "$LAN_NETNS" route replace default via 192.168.77.1

if [[ " ${CLIENT_PREFIX[*]} " != *" ip netns exec $CLIENT_NETNS "* ]]; then
    CLIENT_PREFIX+=(ip netns exec "$CLIENT_NETNS")
fi
