#!/usr/bin/env bash
# The launcher's scripted session against the whole development host, checked from the outside:
#   run-session.sh BUILD_DIR
# The host gets namespaces, run-time files and a settings store of its own (so a development host a
# person runs is never touched), and is taken down afterwards with devhost/down.sh.
# Needs root (network namespaces); exits 77 (skipped) without it.
set -uo pipefail
TOP="$(cd "$(dirname "$0")/../.." && pwd)"
# shellcheck source=tests/support/testkit.sh
source "$TOP/tests/support/testkit.sh"
require root tun openvpn
BUILD_DIR="$(cd "$1" && pwd)"
work="$(mktemp -d /tmp/vpne-XXXXXX)"
prefix="vpne$$"

teardown() {
    VPNC_NS_PREFIX="$prefix" "$TOP/devhost/down.sh" >/dev/null
    rm -rf "$work" "/etc/netns/$prefix-client"
}
trap teardown EXIT

# The client's single-instance lock (in the temporary folder) and its runtime folder are the test's
# own too: a client the same user runs elsewhere on the machine never takes over the one under test.
mkdir -p "$work/tmp" && chmod 1777 "$work/tmp"
mkdir -m 0700 -p "$work/runtime"
# Without a display the launcher runs the scripted session; the client must use X (on Xvfb).
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    VPNC_NS_PREFIX="$prefix" VPNC_RUN_DIR="$work/run" DEVHOST_DIR="$work/devhost" \
    XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" TMPDIR="$work/tmp" XDG_RUNTIME_DIR="$work/runtime" \
    "$TOP/devhost/launch.sh" "$BUILD_DIR" >"$work/launch.out" 2>&1
status=$?
cat "$work/launch.out"

summary="$work/devhost/session-summary.txt"
field() { sed -n "s/^$1: //p" "$summary" 2>/dev/null; }
# Width and height from a PNG's header.
png_size() { python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8]==b"\x89PNG\r\n\x1a\n" else "none")' "$1"; }

check "launcher exit code 0" test "$status" -eq 0
check "summary written" test -s "$summary"
# Before: the home address; after: the server's. Connected: the launcher seeded the account (how:
# tst_devhostseed).
for line in "result: ok" "connected: yes" "current IP before: 192.0.2.2" "current IP after: 198.51.100.1" "client closed: yes"; do
    check "summary: $line" grep -qxF "$line" "$summary"
done
check "tunnel address from the server's pool" grep -qE '^tunnel address: 10\.8\.[0-9]+\.[0-9]+$' "$summary"
screenshot="$(field screenshot)"
check "screenshot is the window" test "$(png_size "$screenshot" 2>/dev/null)" = "400x650"
client_log="$(field 'client log')"
client_gone() {
    local pid
    for pid in $(ip netns pids "$prefix-client"); do
        [ "$(readlink "/proc/$pid/exe")" = "$BUILD_DIR/app/vpnclient" ] && return 1
    done
    return 0
}
check "client closed" client_gone
check "client ended through its own close path" grep -qF "Application: Stopped" "$client_log"
display="$(sed -n 's/^session: Xvfb on :\([0-9]*\)$/\1/p' "$work/launch.out")"
check "Xvfb stopped" test -n "$display" -a ! -e "/tmp/.X$display-lock"
VPNC_NS_PREFIX="$prefix" "$TOP/devhost/down.sh" >/dev/null
check "namespaces removed" sh -c "! ip netns list | grep -q '^$prefix-'"

[ "$failures" -eq 0 ] || { echo "---- client log (last lines)" && tail -n 30 "$client_log"; exit 1; }
