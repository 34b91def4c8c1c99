# shellcheck shell=bash
# Development host network: a small internet of its own in network namespaces, with no link to
# the machine's own network (documentation address ranges only, IPv4 and IPv6 on every link).
#
#   vpnc-lan (192.168.77.10)  -- vpnc-client (192.0.2.2)  -- vpnc-net (router) -- vpnc-server (198.51.100.1)
#            (2001:db8:77::10)               (2001:db8:2::2)  203.0.113.10 API     (2001:db8:100::1)
#                                                           203.0.113.99 and      -- 40 ms -- vpnc-server2 (198.51.100.4)
#                                                           2001:db8:99::99 sink  -- 120 ms -- vpnc-server3 (198.51.100.5)
#
# Sourced by devhost/launch.sh (or by a test with VPNC_NS_PREFIX set to get a namespace set of its
# own). Idempotent. Exports CLIENT_NETNS and NET_NETNS and runs the client inside CLIENT_NETNS.

VPNC_NS_PREFIX="${VPNC_NS_PREFIX:-vpnc}"
NET_NETNS="$VPNC_NS_PREFIX-net"
SERVER_NETNS="$VPNC_NS_PREFIX-server"
CLIENT_NETNS="$VPNC_NS_PREFIX-client"
LAN_NETNS="$VPNC_NS_PREFIX-lan"
export NET_NETNS SERVER_NETNS CLIENT_NETNS LAN_NETNS
# The far VPN servers' namespaces, addresses and round trips added on the way (ms).
FAR_SERVERS=("$VPNC_NS_PREFIX-server2=198.51.100.4" "$VPNC_NS_PREFIX-server3=198.51.100.5")
read -r -a FAR_DELAYS <<<"${VPNC_FAR_DELAYS:-40 120}"

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

# vpnc_ensure_addr NS DEV ADDRESS/PREFIX: no duplicate address detection, so IPv6 is usable at once.
vpnc_ensure_addr() {
    if [[ "$3" == *:* ]]; then
        ip -n "$1" addr replace "$3" dev "$2" nodad
    else
        ip -n "$1" addr replace "$3" dev "$2"
    fi
}

# The internet: routes between client and server side, and hosts the API stand-in and the sink.
vpnc_ensure_addr "$NET_NETNS" vn-client 192.0.2.1/24
vpnc_ensure_addr "$NET_NETNS" vn-client 2001:db8:2::1/64
vpnc_ensure_addr "$NET_NETNS" vn-server 198.51.100.254/24
vpnc_ensure_addr "$NET_NETNS" vn-server 2001:db8:100::254/64
# Host addresses on loopback: no dummy interface needed (not every kernel has the module).
vpnc_ensure_addr "$NET_NETNS" lo 203.0.113.10/32
vpnc_ensure_addr "$NET_NETNS" lo 203.0.113.99/32
vpnc_ensure_addr "$NET_NETNS" lo 2001:db8:99::99/128
ip netns exec "$NET_NETNS" sysctl -qw net.ipv4.ip_forward=1
ip netns exec "$NET_NETNS" sysctl -qw net.ipv6.conf.all.forwarding=1
# The sink counts what reaches it, by where it comes from and what it is: "client" is the user's
# computer outside the tunnel (a leak), "other" everything else (the VPN server's masqueraded
# tunnel traffic). Leak tests read and reset the counters:
#   nft -j list counters table inet vpnc_sink;  nft reset counters table inet vpnc_sink
if command -v nft >/dev/null 2>&1; then
    ip netns exec "$NET_NETNS" nft -f - <<'NFT'
table inet vpnc_sink
delete table inet vpnc_sink
table inet vpnc_sink {
    counter client-icmp {}
    counter client-udp {}
    counter client-tcp {}
    counter client-icmp6 {}
    counter client-udp6 {}
    counter client-tcp6 {}
    counter client-other {}
    counter other {}
    chain input {
        type filter hook input priority 0; policy accept;
        ip daddr != 203.0.113.99 return
        ip6 daddr != 2001:db8:99::99 return
        ip saddr 192.0.2.0/24 meta l4proto icmp counter name client-icmp return
        ip saddr 192.0.2.0/24 meta l4proto udp counter name client-udp return
        ip saddr 192.0.2.0/24 meta l4proto tcp counter name client-tcp return
        ip6 saddr 2001:db8:2::/64 meta l4proto ipv6-icmp counter name client-icmp6 return
        ip6 saddr 2001:db8:2::/64 meta l4proto udp counter name client-udp6 return
        ip6 saddr 2001:db8:2::/64 meta l4proto tcp counter name client-tcp6 return
        ip saddr 192.0.2.0/24 counter name client-other return
        ip6 saddr 2001:db8:2::/64 counter name client-other return
        counter name other
    }
}
NFT
fi

# The VPN server's uplink.
vpnc_ensure_addr "$SERVER_NETNS" vs-uplink 198.51.100.1/24
vpnc_ensure_addr "$SERVER_NETNS" vs-uplink 2001:db8:100::1/64
ip -n "$SERVER_NETNS" route replace default via 198.51.100.254
ip -n "$SERVER_NETNS" -6 route replace default via 2001:db8:100::254

# The far VPN servers: each on a cable of its own length from the internet, a delay line
# (devhost/lib/delayline.py) between a TUN device in the internet namespace and the server's uplink.
# Kept while its process runs in the internet namespace (devhost/down.sh ends it). IPv4 only.
for i in "${!FAR_SERVERS[@]}"; do
    far_ns="${FAR_SERVERS[$i]%=*}"
    far_address="${FAR_SERVERS[$i]#*=}"
    far_link="vn-far$((i + 2))"
    vpnc_ensure_netns "$far_ns"
    if ! ip -n "$NET_NETNS" link show "$far_link" >/dev/null 2>&1; then
        setsid ip netns exec "$NET_NETNS" python3 "$TOP/devhost/lib/delayline.py" "$NET_NETNS" "$far_ns" "$far_link" \
            vs-uplink "${FAR_DELAYS[$i]:-100}" >/dev/null 2>&1 </dev/null &
        for _ in $(seq 50); do
            ip -n "$far_ns" link show vs-uplink >/dev/null 2>&1 && break
            sleep 0.1
        done
    fi
    ip -n "$NET_NETNS" link set "$far_link" up
    ip -n "$NET_NETNS" route replace "$far_address/32" dev "$far_link"
    ip -n "$far_ns" link set vs-uplink up
    vpnc_ensure_addr "$far_ns" vs-uplink "$far_address/32"
    ip -n "$far_ns" route replace default dev vs-uplink
done

# The user's computer: uplink to the internet and a LAN with one device.
vpnc_ensure_addr "$CLIENT_NETNS" vc-uplink 192.0.2.2/24
vpnc_ensure_addr "$CLIENT_NETNS" vc-uplink 2001:db8:2::2/64
ip -n "$CLIENT_NETNS" route replace default via 192.0.2.1
ip -n "$CLIENT_NETNS" -6 route replace default via 2001:db8:2::1
vpnc_ensure_addr "$CLIENT_NETNS" vc-lan 192.168.77.1/24
vpnc_ensure_addr "$CLIENT_NETNS" vc-lan 2001:db8:77::1/64
vpnc_ensure_addr "$LAN_NETNS" vl-uplink 192.168.77.10/24
vpnc_ensure_addr "$LAN_NETNS" vl-uplink 2001:db8:77::10/64
ip -n "$LAN_NETNS" route replace default via 192.168.77.1
ip -n "$LAN_NETNS" -6 route replace default via 2001:db8:77::1

if [[ " ${CLIENT_PREFIX[*]} " != *" ip netns exec $CLIENT_NETNS "* ]]; then
    CLIENT_PREFIX+=(ip netns exec "$CLIENT_NETNS")
fi
