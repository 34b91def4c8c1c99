# shellcheck shell=bash
# Gives the client's network namespace a resolver configuration of its own, which "ip netns exec"
# mounts over /etc/resolv.conf: the DNS tool run by vpn-service there then rewrites this file and
# never the machine's.
# Sourced by devhost/launch.sh before the service step; safe to run again (a file
# that is already there is kept, also one the DNS tool wrote while a tunnel was up).

if [ -n "${CLIENT_NETNS:-}" ]; then
    resolver_dir="/etc/netns/$CLIENT_NETNS"
    mkdir -p "$resolver_dir"
    if [ ! -s "$resolver_dir/resolv.conf" ]; then
        # The home router of the development host's small internet.
        printf 'nameserver 192.0.2.1\n' > "$resolver_dir/resolv.conf"
    fi
fi
