#!/usr/bin/env bash
# Benchmarks the client against its floors and prints one table:
#   bench/run.sh [BUILD_DIR] [bench.py options: --rounds N --idle-seconds S --flood N --only PARTS]
# Needs root. Builds what it measures, brings up a development host of its own (namespaces, run-time
# files, settings store and two Xvfb displays; the global development host lock is held meanwhile),
# adds a throwaway user for the service flood, runs bench/bench.py in the client namespace and
# takes everything down again. With VPNC_E2E_LOCK_HELD=1 the caller holds the lock already.
set -euo pipefail
TOP="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="$(cd "${1:-$TOP/build}" && pwd)"
[ $# -gt 0 ] && shift
if [ "$(id -u)" -ne 0 ]; then
    echo "bench: needs root (network namespaces, a throwaway user)" >&2
    exit 2
fi
APP_DIR="$BUILD_DIR/app"
cmake --build "$BUILD_DIR" --target vpnclient vpn-service devhost_maintenancetool devhost_seed killswitch dns \
    bench-floor bench-frameprobe >/dev/null

work="$(mktemp -d /tmp/vpnbench-XXXXXX)"
prefix="vpnb$$"
flood_user="vpnbench$$"
member_user="vpnbenchm$$"
xvfb_pids=()
export TOP BUILD_DIR APP_DIR VPNC_NS_PREFIX="$prefix" VPNC_RUN_DIR="$work/run" DEVHOST_DIR="$work/devhost"
# A temporary folder of its own: the client's single-instance lock lives there, so a client the user
# already runs never takes over the measured one.
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work/tmp"
mkdir -p "$XDG_RUNTIME_DIR" "$TMPDIR" && chmod 700 "$XDG_RUNTIME_DIR" && chmod 1777 "$TMPDIR"

teardown() {
    local pid
    for pid in "${xvfb_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    "$TOP/devhost/down.sh" >/dev/null 2>&1 || true
    for user in "$flood_user" "$member_user"; do
        if getent passwd "$user" >/dev/null; then
            userdel "$user" 2>/dev/null || true
        fi
    done
    rm -rf "$work" "/etc/netns/$prefix-client"
}
trap teardown EXIT
trap 'exit 130' INT TERM

# start_xvfb: starts a private X server on the first free display and prints its name.
start_xvfb() {
    local number=120 pid
    while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do
        number=$((number + 1))
    done
    Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb-$number.out" 2>&1 &
    pid=$!
    xvfb_pids+=("$pid")
    for _ in $(seq 100); do
        [ -S "/tmp/.X11-unix/X$number" ] && break
        sleep 0.1
    done
    [ -S "/tmp/.X11-unix/X$number" ] || { echo "bench: Xvfb :$number did not start" >&2; return 1; }
    displays+=(":$number")
}

run() {
    local step
    for step in "$TOP"/devhost/setup.d/*.sh; do
        [ -e "$step" ] || continue
        # shellcheck source=/dev/null
        source "$step" >>"$work/devhost.out"
    done
    "$APP_DIR/devhost-seed" "${VPNC_DEMO_USER:-demo}" "${VPNC_DEMO_PASSWORD:-demo-password}" >/dev/null
    useradd --system --no-create-home --user-group --shell /usr/sbin/nologin "$flood_user"
    useradd --system --no-create-home --user-group --shell /usr/sbin/nologin --groups korvexvpn "$member_user"
    displays=()
    start_xvfb
    start_xvfb
    echo "bench: development host $prefix up; measuring (this takes a few minutes)" >&2
    # The bench is a Python script: the system interpreter, not a version manager's shim (which
    # costs most of a second per start and would be counted as the client's).
    ip netns exec "$CLIENT_NETNS" env PATH="/usr/bin:$PATH" \
        python3 "$TOP/bench/bench.py" "$APP_DIR" "$work/bench" "${displays[0]}" "${displays[1]}" \
        --flood-user "$flood_user" --member-user "$member_user" "$@"
}

if [ "${VPNC_E2E_LOCK_HELD:-}" != 1 ]; then
    exec 9>/tmp/vpnc-e2e.lock
    flock 9
fi
# What the steps start in the background must not inherit the lock: it ends with this script.
run "$@" 9>&-
