#!/usr/bin/env bash
# The scripted session the launcher runs when there is no display: devhost/session.sh CLIENT_COMMAND...
# Seeds the demo account (unless an account is stored), starts the client on a private Xvfb, clicks
# the switch, waits for the tunnel, takes a screenshot, clicks again, waits for the tunnel to go
# down, closes the client and prints what happened. Exit code 0 only when every step worked.
# Expects TOP, BUILD_DIR and APP_DIR (devhost/launch.sh exports them). Files it leaves:
#   $DEVHOST_DIR/session-connected.png  the window while connected
#   $DEVHOST_DIR/session-client.out     the client's standard output and error
#   $DEVHOST_DIR/session-summary.txt    the summary printed at the end
set -uo pipefail
TOP="${TOP:?}"
BUILD_DIR="${BUILD_DIR:?}"
APP_DIR="${APP_DIR:?}"
if [ $# -eq 0 ]; then
    echo "usage: $0 CLIENT_COMMAND..." >&2
    exit 2
fi

# shellcheck source=devhost/lib/window.sh
source "$TOP/devhost/lib/window.sh"

demo_user="demo"
demo_password="demo-password"
# Seconds for the client to come up, and for the tunnel to come up or go down.
start_timeout=60
tunnel_timeout=90

out_dir="${DEVHOST_DIR:-$BUILD_DIR/devhost}"
screenshot="$out_dir/session-connected.png"
client_out="$out_dir/session-client.out"
summary_file="$out_dir/session-summary.txt"
mkdir -p "$out_dir"
rm -f "$screenshot" "$summary_file"

failure=""
connected="no"
tunnel_ip="-"
ip_before="-"
ip_after="-"
closed="no"

say() { echo "session: $*"; }

cleanup() {
    stop_pid "$client_pid"
    stop_pid "$xvfb_pid"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    failure="$*"
    say "FAILED: $*"
}

run_session() {
    local line

    say "seeding the demo account ($demo_user)"
    "$APP_DIR/devhost-seed" "$demo_user" "$demo_password" || { fail "cannot seed the settings store"; return; }

    start_xvfb "$out_dir" || { fail "Xvfb did not start"; return; }
    say "Xvfb on $DISPLAY"

    start_client "$client_out" "$start_timeout" "$@" || { fail "the client wrote no log in $logs_dir"; return; }
    say "client started (PID $client_pid), output in $client_out"
    say "client log $log_file"

    wait_log 1 "$start_timeout" "vpn-service is running: true" || { fail "the client did not reach vpn-service"; return; }
    wait_log 1 "$start_timeout" "Set VPN server IP: " || { fail "the client got no server list"; return; }
    wait_log 1 "$start_timeout" "geoip' finished, IP: " || { fail "the client got no current IP"; return; }
    ip_before="$(current_ip_from 1)"
    ip_before="${ip_before:--}"
    say "ready, current IP $ip_before"

    find_window || { fail "no window titled $window_title"; return; }

    line="$(($(log_lines) + 1))"
    say "switching on"
    click_switch || { fail "xdotool could not click the switch"; return; }
    wait_log "$line" 5 "Connect to VPN" || { fail "the click did not start a connection"; return; }
    wait_log "$line" "$tunnel_timeout" "VPN connection is UP" "State updated to 'Error'" \
        || { fail "the tunnel did not come up"; return; }
    connected="yes"
    tunnel_ip="$(log_from "$line" | sed -n "s/.*Parsed 'ASSIGN_IP': \(.*\)$/\1/p" | tail -n 1)"
    tunnel_ip="${tunnel_ip:--}"
    local up_line
    up_line="$(log_from "$line" | grep -nF "VPN connection is UP" | head -n 1 | cut -d: -f1)"
    up_line=$((line + up_line - 1))
    if wait_log "$up_line" "$start_timeout" "geoip' finished, IP: "; then
        ip_after="$(current_ip_from "$up_line")"
        ip_after="${ip_after:--}"
    fi
    say "connected, tunnel address $tunnel_ip, current IP $ip_after"

    # Let the window paint the new address and a tick of the online time before the picture.
    sleep 2
    import -display "$DISPLAY" -window "$window" "$screenshot" || { fail "no screenshot"; return; }
    say "screenshot $screenshot"

    line="$(($(log_lines) + 1))"
    say "switching off"
    click_switch || { fail "xdotool could not click the switch"; return; }
    wait_log "$line" "$tunnel_timeout" "VPN connection is DOWN" || { fail "the tunnel did not go down"; return; }
    say "disconnected"

    # Closing its only window ends the client the way a person's close does.
    close_client || { fail "the client did not end when its window closed"; return; }
    say "client closed (exit code $client_exit)"
    closed="yes"
    client_pid=""
}

run_session "$@"

{
    echo "connected: $connected"
    echo "tunnel address: $tunnel_ip"
    echo "current IP before: $ip_before"
    echo "current IP after: $ip_after"
    echo "client closed: $closed"
    echo "screenshot: $([ -s "$screenshot" ] && echo "$screenshot" || echo -)"
    echo "client log: ${log_file:--}"
    echo "result: ${failure:-ok}"
} | tee "$summary_file"

if [ -n "$failure" ]; then
    [ -n "$log_file" ] && { echo "--- last lines of the client log"; tail -n 20 "$log_file"; }
    exit 1
fi
exit 0
