#!/usr/bin/env bash
# Runs a test inside the client namespace of a private copy of the development host's network,
# with the development host's OpenVPN servers running, and takes everything down afterwards:
#   run-in-devhost-net.sh TEST_EXECUTABLE [ARGS...]
# Needs root (network namespaces); exits 77 (skipped) without it.
set -euo pipefail
if [ "$(id -u)" -ne 0 ] || ! command -v openvpn >/dev/null 2>&1 || [ ! -c /dev/net/tun ]; then
    echo "SKIP: needs root, openvpn and /dev/net/tun"
    exit 77
fi
TOP="$(cd "$(dirname "$0")/../.." && pwd)"
export TOP
# Namespaces of their own, so that two runs (or a running development host) never meet.
VPNC_NS_PREFIX="vpnt$$"
VPNC_RUN_DIR="$(mktemp -d /tmp/vpnt-XXXXXX)"
export VPNC_NS_PREFIX VPNC_RUN_DIR
CLIENT_PREFIX=()

teardown() {
    local ns pid
    for ns in "$VPNC_NS_PREFIX-client" "$VPNC_NS_PREFIX-server" "$VPNC_NS_PREFIX-net" "$VPNC_NS_PREFIX-lan"; do
        if [ -e "/run/netns/$ns" ]; then
            # Only what this run started lives in its namespaces.
            for pid in $(ip netns pids "$ns"); do
                kill -TERM "$pid" 2>/dev/null || true
            done
        fi
    done
    sleep 0.5
    for ns in "$VPNC_NS_PREFIX-client" "$VPNC_NS_PREFIX-server" "$VPNC_NS_PREFIX-net" "$VPNC_NS_PREFIX-lan"; do
        if [ -e "/run/netns/$ns" ]; then
            for pid in $(ip netns pids "$ns"); do
                kill -KILL "$pid" 2>/dev/null || true
            done
            ip netns del "$ns" || true
        fi
    done
    rm -rf "$VPNC_RUN_DIR"
}
trap teardown EXIT

# shellcheck source=/dev/null
source "$TOP/devhost/setup.d/10-netns.sh"
# shellcheck source=/dev/null
source "$TOP/devhost/setup.d/50-vpnserver.sh"
# The VPN adapter the client finds at start-up, as the development host has it.
ip -n "$CLIENT_NETNS" tuntap add dev tun0 mode tun

status=0
"${CLIENT_PREFIX[@]}" "$@" || status=$?
if [ "$status" -ne 0 ]; then
    echo "---- server logs"
    tail -n 30 "$VPNC_RUN_DIR"/*.log || true
fi
exit "$status"
