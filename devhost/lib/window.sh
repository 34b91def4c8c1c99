# shellcheck shell=bash
# Drives the client's real window on a private Xvfb, for the scripted session and the end-to-end
# tests. Sourced; works on these globals:
#   xvfb_pid, client_pid   the processes it started
#   log_file               the client's log file of the current run
#   window                 the client's window id
#   logs_dir               where the client writes its logs
# Needs TOP (the source tree). The X commands go through xdo (xdotool) and x_run, and the window
# is closed by the script at $closewindow: a caller whose display lives elsewhere (the lab's
# container) redefines them after sourcing this file.

window_title="Korvex"
# The switch's centre in window coordinates: the window is 400 wide, the round switch sits below the
# header (50), the top padding (65) and the location row, centred in a 300 high item.
switch_x=200
switch_y=320
logs_dir="${XDG_DATA_HOME:-$HOME/.local/share}/vpnclient/logs"
xvfb_pid=""
client_pid=""
log_file=""
window=""
closewindow="$TOP/devhost/lib/closewindow.py"
xdo() { xdotool "$@"; }
x_run() { "$@"; }

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

# start_xvfb OUT_DIR: a private display, the first number without a lock file; another program may
# take the same number at the same moment, so a server that ends at once moves on to the next.
start_xvfb() {
    local display_number=98 attempt
    for attempt in $(seq 10); do
        display_number=$((display_number + 1))
        while [ -e "/tmp/.X$display_number-lock" ] || [ -e "/tmp/.X11-unix/X$display_number" ]; do
            display_number=$((display_number + 1))
        done
        Xvfb ":$display_number" -screen 0 1280x1024x24 -nolisten tcp >"$1/xvfb.out" 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 100); do
            [ -S "/tmp/.X11-unix/X$display_number" ] && break
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$xvfb_pid" 2>/dev/null && [ -S "/tmp/.X11-unix/X$display_number" ]; then
            export DISPLAY=":$display_number"
            return 0
        fi
        stop_pid "$xvfb_pid"
        xvfb_pid=""
    done
    return 1
}

# start_client OUTPUT_FILE TIMEOUT COMMAND...: starts the client and finds the log file of this run
# (the newest one after the start).
start_client() {
    local output="$1" timeout="$2" marker tenths
    shift 2
    marker="$(mktemp)"
    sleep 1
    "$@" >"$output" 2>&1 &
    client_pid=$!
    log_file=""
    for ((tenths = 0; tenths < timeout * 10; tenths++)); do
        log_file="$(find "$logs_dir" -maxdepth 1 -name '*-app.log' -newer "$marker" 2>/dev/null | sort | tail -n 1)"
        [ -n "$log_file" ] && break
        kill -0 "$client_pid" 2>/dev/null || break
        sleep 0.1
    done
    rm -f "$marker"
    [ -n "$log_file" ]
}

# Lines of the client's log from line $1 on. Its status is always 0: a reader that stops at its first
# match (grep -q) ends tail with SIGPIPE, which under pipefail would fail a check that matched.
log_from() { tail -n +"$1" "$log_file" 2>/dev/null || true; }
log_lines() { wc -l <"$log_file" 2>/dev/null || echo 0; }
# The line number the next log line will have.
next_log_line() { echo "$(($(log_lines) + 1))"; }

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

find_window() {
    window=""
    for _ in $(seq 100); do
        window="$(xdo search --onlyvisible --name "^$window_title\$" 2>/dev/null | head -n 1)"
        [ -n "$window" ] && return 0
        sleep 0.1
    done
    return 1
}

click_switch() {
    xdo mousemove --window "$window" "$switch_x" "$switch_y" click 1
}

# close_client: closes the window the way a person's close does and waits for the client to end;
# a client that does not end in time is stopped and the function fails.
close_client() {
    x_run python3 "$closewindow" "$window" || true
    for _ in $(seq 100); do
        kill -0 "$client_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$client_pid" 2>/dev/null; then
        stop_pid "$client_pid"
        client_pid=""
        return 1
    fi
    wait "$client_pid" 2>/dev/null
    client_exit=$?
    client_pid=""
}
