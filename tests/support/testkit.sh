# shellcheck shell=bash
# Sourced by the shell tests (devhost, lab, package, bench): skipping, checks, rows, waits, and the
# development host's leak sink. Needs TOP.

# require NEED...: exits 77 (skipped) unless each holds: root, tun (/dev/net/tun) or a program.
require() {
    local need
    for need in "$@"; do
        case "$need" in
            root) [ "$(id -u)" -eq 0 ] ;;
            tun) [ -c /dev/net/tun ] ;;
            *) command -v "$need" >/dev/null 2>&1 ;;
        esac || { echo "SKIP: needs $need"; exit 77; }
    done
}

# check WHAT COMMAND...: runs COMMAND, prints "ok: WHAT" or "FAIL: WHAT", counts failures.
failures=0
check() {
    if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1" && failures=$((failures + 1)); fi
}

# fail TEXT: the row fails with TEXT; returns 1, so "CHECK || fail TEXT || return" ends the row.
failure=""
fail() {
    failure="$*"
    echo "FAIL: $*"
    return 1
}

# within SECONDS COMMAND...: COMMAND (a question, run apart and quiet) until it holds, up to SECONDS.
within() {
    local tenths
    for ((tenths = $1 * 10; tenths > 0; tenths--)); do
        ("${@:2}") >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# run_rows DIAGNOSE ROW...: each function row_ROW in turn, from what the previous one left; a row
# fails by returning non-zero or by a fail. Prints every row's result and time, runs DIAGNOSE after
# a failure, and fails when any row did.
run_rows() {
    local diagnose="$1" row started failed=()
    for row in "${@:2}"; do
        failure="" started=$SECONDS
        echo "row: $row"
        if "row_$row" && [ -z "$failure" ]; then
            echo "row $row passed in $((SECONDS - started)) s"
        else
            echo "row $row FAILED after $((SECONDS - started)) s${failure:+: $failure}"
            failed+=("$row")
            "$diagnose"
        fi
    done
    [ "${#failed[@]}" -eq 0 ] || { echo "failed rows: ${failed[*]}" && return 1; }
    echo "all rows passed"
}

# package_of SOURCE BUILD_DIR: prints the package built by SOURCE's scripts/build-package.sh in
# BUILD_DIR (made or brought up to date); without one, the build's last lines and a failure.
package_of() {
    local deb
    deb="$("$1/scripts/build-package.sh" "$2" 2>"$work/build.log" | tail -n 1)"
    [ -f "$deb" ] && echo "$deb" && return
    tail -n 40 "$work/build.log"
    echo "FAIL: no package built from $1"
    return 1
}

# switch_on / switch_off: a click on the window's round switch, then the tunnel up (the lock and
# the resolvers follow a moment later) or down (window.sh's helpers; tunnel_timeout in seconds).
switch_on() {
    click_and_wait "VPN connection is UP" "State updated to 'Error'" || fail "the tunnel did not come up" || return
    sleep 1
}
switch_off() { click_and_wait "VPN connection is DOWN" || fail "the tunnel did not go down"; }
click_and_wait() {
    local line
    line="$(next_log_line)"
    click_switch || fail "xdotool could not click" || return
    wait_log "$line" "$tunnel_timeout" "$@"
}

# devhost_up [STEP...]: the development host's pieces (devhost/setup.d: every step, or the ones
# named) as the launcher prepares them, in this shell; needs VPNC_NS_PREFIX, DEVHOST_DIR and work.
devhost_up() {
    local step
    CLIENT_PREFIX=()
    mkdir -p "$DEVHOST_DIR"
    for step in "$TOP"/devhost/setup.d/*.sh; do
        [ $# -eq 0 ] || [[ " $* " == *" $(basename "$step" .sh) "* ]] || continue
        # shellcheck source=/dev/null
        source "$step" >>"$work/setup.out" 2>&1 || { cat "$work/setup.out" && echo "FAIL: $step" && return 1; }
    done
}

# The development host's sink counts, by kind, what arrives from the client's own addresses
# ("client-*": a leak) and what else arrives ("other": through the tunnel). The caller sets net, the
# command that enters the client's network namespace (an array), NET_NETNS and work.
in_net() { "${net[@]}" "$@"; }
# sink_counts: " NAME=PACKETS..." since the last call, which zeroes them.
sink_counts() {
    ip netns exec "$NET_NETNS" nft reset counters table inet vpnc_sink \
        | awk '/counter /{name=$2} /packets/{for (i = 1; i <= NF; i++) if ($i == "packets") printf " %s=%s", name, $(i + 1)}'
}
# measure_during NAME SECONDS [COMMAND...]: traffic of every kind to the sink for SECONDS while
# COMMAND runs (a fault), then the sink's counts, printed and kept in $counts; COMMAND's status.
counts=""
measure_during() {
    local probe status=0
    sink_counts >/dev/null
    in_net python3 "$TOP/tests/devhost/probe.py" --timeout 0.3 --for "$2" 203.0.113.99 2001:db8:99::99 >/dev/null 2>&1 &
    probe=$!
    [ $# -le 2 ] || "${@:3}" || status=$?
    wait "$probe"
    counts="$(sink_counts)"
    echo "  $1:$counts"
    return "$status"
}
measure() { measure_during "$1" 2; }
count_of() { sed -n "s/.* $1=\([0-9]*\).*/\1/p" <<<"$counts"; }
no_leak() { ! grep -qE ' client-[a-z0-9]+=[1-9]' <<<"$counts" || fail "packets left outside the tunnel:$counts"; }
tunnel_carried() { [ "$(count_of other)" -gt 0 ] || fail "nothing came through the tunnel"; }

# The network lock is the table vpnc_killswitch; its tool deletes the table only to lift it.
lock_engaged() { in_net nft list table inet vpnc_killswitch >/dev/null 2>&1; }
# held_through NAME SECONDS FAULT [ARG...]: measure_during with the lock engaged before and after and
# never lifted meanwhile (every table change is watched, none is missed), and no leak.
held_through() {
    local events="$work/lock.events" watch status=0
    lock_engaged || fail "the network lock is not engaged" || return
    # (timeout passes the kill on, and ends a watch that a stopped test left behind.)
    "${net[@]}" timeout 900 nft monitor tables >"$events" 2>&1 &
    watch=$!
    # The watch listens once it reports a change of its own.
    within 5 in_net sh -c 'nft add table inet vpnc_watch && nft delete table inet vpnc_watch && grep -q vpnc_watch "$1"' - "$events" \
        || fail "nft monitor reports nothing" || { kill "$watch"; return 1; }
    measure_during "$@" || status=$?
    kill "$watch"
    wait "$watch" 2>/dev/null
    [ "$status" -eq 0 ] && no_leak || return
    ! grep -q "delete table inet vpnc_killswitch" "$events" || fail "the network lock was lifted" || return
    lock_engaged || fail "the network lock is not engaged"
}
