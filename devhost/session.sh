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

demo_user="demo"
demo_password="demo-password"
window_title="Korvex"
# Seconds for the client to come up, and for the tunnel to come up or go down.
start_timeout=60
tunnel_timeout=90
# The switch's centre in window coordinates: the window is 400 wide, the round switch sits below the
# header (50), the top padding (65) and the location row, centred in a 300 high item.
switch_x=200
switch_y=320

out_dir="${DEVHOST_DIR:-$BUILD_DIR/devhost}"
screenshot="$out_dir/session-connected.png"
client_out="$out_dir/session-client.out"
summary_file="$out_dir/session-summary.txt"
logs_dir="${XDG_DATA_HOME:-$HOME/.local/share}/vpnclient/logs"
mkdir -p "$out_dir"
rm -f "$screenshot" "$summary_file"

xvfb_pid=""
client_pid=""
log_file=""
failure=""
connected="no"
tunnel_ip="-"
ip_before="-"
ip_after="-"
closed="no"

say() { echo "session: $*"; }

stop_pid() {
    local pid="$1"
    [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

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

# Lines of the client's log from line $1 on.
log_from() { tail -n +"$1" "$log_file" 2>/dev/null; }
log_lines() { wc -l <"$log_file" 2>/dev/null || echo 0; }

# wait_log FROM_LINE TIMEOUT TEXT [GIVE_UP_TEXT]: waits until the log shows TEXT at or after
# FROM_LINE; gives up early when the client ends or the log shows GIVE_UP_TEXT.
wait_log() {
    local from="$1" timeout="$2" text="$3" give_up="${4:-}" tenths
    for ((tenths = 0; tenths < timeout * 10; tenths++)); do
        log_from "$from" | grep -qF -- "$text" && return 0
        [ -n "$give_up" ] && log_from "$from" | grep -qF -- "$give_up" && return 1
        kill -0 "$client_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# The address of the last answered geoip request at or after line $1.
current_ip_from() {
    log_from "$1" | sed -n "s/.*Network request '[^']*geoip' finished, IP: \([^,]*\), valid: true.*/\1/p" | tail -n 1
}

click_switch() {
    xdotool mousemove --window "$window" "$switch_x" "$switch_y" click 1
}

run_session() {
    local line

    say "seeding the demo account ($demo_user)"
    "$APP_DIR/devhost-seed" "$demo_user" "$demo_password" || { fail "cannot seed the settings store"; return; }

    # A private display: the first number without a lock file; another program may take the same
    # number at the same moment, so a server that ends at once moves on to the next.
    local display_number=98 attempt
    for attempt in $(seq 10); do
        display_number=$((display_number + 1))
        while [ -e "/tmp/.X$display_number-lock" ] || [ -e "/tmp/.X11-unix/X$display_number" ]; do
            display_number=$((display_number + 1))
        done
        Xvfb ":$display_number" -screen 0 1280x1024x24 -nolisten tcp >"$out_dir/session-xvfb.out" 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 100); do
            [ -S "/tmp/.X11-unix/X$display_number" ] && break
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -0 "$xvfb_pid" 2>/dev/null && [ -S "/tmp/.X11-unix/X$display_number" ] && break
        stop_pid "$xvfb_pid"
        xvfb_pid=""
    done
    [ -n "$xvfb_pid" ] || { fail "Xvfb did not start (attempts: $attempt)"; return; }
    export DISPLAY=":$display_number"
    say "Xvfb on $DISPLAY"

    # The client writes a new log file per run; the newest one after this marker is ours.
    local marker="$out_dir/session-start.marker"
    touch "$marker"
    sleep 1
    "$@" >"$client_out" 2>&1 &
    client_pid=$!
    say "client started (PID $client_pid), output in $client_out"

    for ((line = 0; line < start_timeout * 10; line++)); do
        log_file="$(find "$logs_dir" -maxdepth 1 -name '*-app.log' -newer "$marker" 2>/dev/null | sort | tail -n 1)"
        [ -n "$log_file" ] && break
        kill -0 "$client_pid" 2>/dev/null || break
        sleep 0.1
    done
    rm -f "$marker"
    [ -n "$log_file" ] || { fail "the client wrote no log in $logs_dir"; return; }
    say "client log $log_file"

    wait_log 1 "$start_timeout" "vpn-service is running: true" || { fail "the client did not reach vpn-service"; return; }
    wait_log 1 "$start_timeout" "Set VPN server IP: " || { fail "the client got no server list"; return; }
    wait_log 1 "$start_timeout" "geoip' finished, IP: " || { fail "the client got no current IP"; return; }
    ip_before="$(current_ip_from 1)"
    ip_before="${ip_before:--}"
    say "ready, current IP $ip_before"

    window=""
    for _ in $(seq 100); do
        window="$(xdotool search --onlyvisible --name "^$window_title\$" 2>/dev/null | head -n 1)"
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { fail "no window titled $window_title"; return; }

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

    # Closing its only window ends the client the way a person's close does; a client that does
    # not end on its own in time is stopped.
    python3 "$TOP/devhost/lib/closewindow.py" "$window" || true
    for _ in $(seq 100); do
        kill -0 "$client_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$client_pid" 2>/dev/null; then
        stop_pid "$client_pid"
        client_pid=""
        fail "the client did not end when its window closed"
        return
    fi
    wait "$client_pid" 2>/dev/null
    say "client closed (exit code $?)"
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
