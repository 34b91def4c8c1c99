#!/usr/bin/env bash
# Runs a test in the client namespace of a private copy of the development host's network, with its
# OpenVPN servers running (and with --api the provider API stand-in), and takes it all down
# afterwards; exits 77 (skipped) without root:
#   run-in-devhost-net.sh [--api] TEST_EXECUTABLE [ARGS...]
set -euo pipefail
if [ "$(id -u)" -ne 0 ] || ! command -v openvpn >/dev/null 2>&1 || [ ! -c /dev/net/tun ]; then
    echo "SKIP: needs root, openvpn and /dev/net/tun"
    exit 77
fi
TOP="$(cd "$(dirname "$0")/../.." && pwd)"
# Namespaces of their own, so that two runs (or a running development host) never meet.
VPNC_NS_PREFIX="vpnt$$"
VPNC_RUN_DIR="$(mktemp -d /tmp/vpnt-XXXXXX)"
export TOP VPNC_NS_PREFIX VPNC_RUN_DIR
CLIENT_PREFIX=()
teardown() {
    # Only what this run started lives in its namespaces.
    local namespaces=("$VPNC_NS_PREFIX"-{client,server,server2,server3,net,lan}) signal ns
    for signal in TERM KILL; do
        for ns in "${namespaces[@]}"; do ip netns pids "$ns" 2>/dev/null | xargs -r kill -"$signal" || true; done
        sleep 0.5
    done
    for ns in "${namespaces[@]}"; do ip netns del "$ns" 2>/dev/null || true; done
    rm -rf "$VPNC_RUN_DIR"
}
trap teardown EXIT
source "$TOP/devhost/setup.d/10-netns.sh"
source "$TOP/devhost/setup.d/50-vpnserver.sh"
if [ "${1:-}" = --api ]; then
    shift
    DEVHOST_DIR="$VPNC_RUN_DIR" source "$TOP/devhost/setup.d/40-api.sh"
fi
status=0
"${CLIENT_PREFIX[@]}" "$@" || status=$?
[ "$status" -eq 0 ] || tail -n 30 "$VPNC_RUN_DIR"/*.log || true
exit "$status"
