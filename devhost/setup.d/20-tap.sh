# Gives the client a VPN adapter to find: a persistent TUN interface, created when the client's
# network namespace (CLIENT_NETNS, or the current one when unset) has no TUN/TAP interface yet.
# The stand-in "route print" lists it as "TAP-Windows Adapter V9". Sourced by devhost/launch.sh.

CLIENT_TUN_DEV="${CLIENT_TUN_DEV:-tun0}"
export CLIENT_TUN_DEV

tap_in_client_netns() {
    if [ -n "${CLIENT_NETNS:-}" ]; then
        ip netns exec "$CLIENT_NETNS" "$@"
    else
        "$@"
    fi
}

if [ -n "${CLIENT_NETNS:-}" ] && [ ! -e "/run/netns/$CLIENT_NETNS" ]; then
    echo "devhost: network namespace '$CLIENT_NETNS' does not exist" >&2
    return 1
fi

tap_links="$(tap_in_client_netns ip -d -o link show)"
if [[ "$tap_links" == *" tun type "* ]]; then
    echo "devhost: a TUN/TAP interface exists${CLIENT_NETNS:+ in $CLIENT_NETNS}"
else
    [ -e /dev/net/tun ] || { mkdir -p /dev/net && mknod /dev/net/tun c 10 200; }
    tap_in_client_netns ip tuntap add dev "$CLIENT_TUN_DEV" mode tun
    echo "devhost: created TUN interface $CLIENT_TUN_DEV${CLIENT_NETNS:+ in $CLIENT_NETNS}"
fi
unset -f tap_in_client_netns
unset tap_links
