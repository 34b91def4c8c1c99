#!/usr/bin/env bash
# The Windows client under Wine against the development host: vpn-service.exe and vpnclient.exe run
# under Wine in a client namespace of the session's own, the provider's API stand-in answers over
# HTTPS (the deployment's pinned CA, OpenSSL's DLLs at work). The session waits until the window has
# reached the service and shows the server list and the current IP, then takes a screenshot.
#   scripts/windows/wine-session.sh [BUILD_DIR] [SCREENSHOT]   (default: build-win, BUILD_DIR/wine-session/main.png)
# Needs root (namespaces) and a Windows build (scripts/windows/build.sh). Exit code 0 only when every
# step worked; the client's log and the service's are left in BUILD_DIR/wine-session.
set -uo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
dir="$(cd "${1:-$top/build-win}" && pwd)"
export TOP="$top" BUILD_DIR="$dir" APP_DIR="$dir/app" DEVHOST_DIR="$dir/wine-session"
shot="${2:-$DEVHOST_DIR/main.png}"
# A namespace set of the session's own: it never meets a development host a person runs.
export VPNC_NS_PREFIX=vpnw
prefix="$DEVHOST_DIR/prefix"
timeout=120

# shellcheck source=devhost/lib/window.sh
source "$top/devhost/lib/window.sh"
say() { echo "wine session: $*"; }
fail() {
    say "FAILED: $*"
    [ -n "$log_file" ] && tail -n 30 "$log_file"
    exit 1
}

service_pid=""
cleanup() {
    stop_pid "$client_pid"
    stop_pid "$service_pid"
    wine_in_namespace /usr/lib/wine/wineserver -k 2>/dev/null || true
    stop_pid "$xvfb_pid"
    "$top/devhost/down.sh" > /dev/null 2>&1 || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

rm -rf "$DEVHOST_DIR"
mkdir -p "$DEVHOST_DIR"
for step in 10-netns 22-resolver 40-api; do
    # shellcheck source=/dev/null
    source "$top/devhost/setup.d/$step.sh" || fail "the development host's step $step"
done

# Wine and everything it starts (its server included) live in the client's namespace.
wine_in_namespace() {
    ip netns exec "$CLIENT_NETNS" env WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
        WINEPATH="Z:${APP_DIR//\//\\}" "$@"
}
windows_path() { echo "Z:${1//\//\\}"; }

wine_in_namespace /usr/lib/wine/wine64 wineboot --init > "$DEVHOST_DIR/wineboot.out" 2>&1 || fail "wineboot"
start_xvfb "$DEVHOST_DIR" || fail "Xvfb did not start"
say "Xvfb on $DISPLAY, Wine prefix $prefix"

wine_in_namespace /usr/lib/wine/wine64 "$dir/devhost-bin/devhost-seed.exe" demo demo-password \
    > "$DEVHOST_DIR/seed.out" 2>&1 || fail "cannot seed the demo account: $(cat "$DEVHOST_DIR/seed.out")"

wine_in_namespace /usr/lib/wine/wine64 "$APP_DIR/vpn-service.exe" \
    --log-file "$(windows_path "$DEVHOST_DIR/vpn-service.log")" \
    --state-dir "$(windows_path "$DEVHOST_DIR/state")" > "$DEVHOST_DIR/vpn-service.out" 2>&1 &
service_pid=$!
for _ in $(seq $((timeout * 10))); do
    grep -q "Listening on" "$DEVHOST_DIR/vpn-service.out" "$DEVHOST_DIR/vpn-service.log" 2>/dev/null && break
    kill -0 "$service_pid" 2>/dev/null || fail "vpn-service.exe ended: $(tail -n 5 "$DEVHOST_DIR/vpn-service.out")"
    sleep 0.1
done
grep -q "Listening on" "$DEVHOST_DIR/vpn-service.out" "$DEVHOST_DIR/vpn-service.log" 2>/dev/null ||
    fail "vpn-service.exe is not listening"
say "vpn-service.exe listening"

# The client's logs in the prefix: the user's local application data.
logs_dir="$(find "$prefix/drive_c/users" -maxdepth 1 -mindepth 1 -type d ! -name Public | head -n 1)/AppData/Local/vpnclient/logs"
mkdir -p "$logs_dir"
start_client "$DEVHOST_DIR/vpnclient.out" "$timeout" wine_in_namespace /usr/lib/wine/wine64 "$APP_DIR/vpnclient.exe" ||
    fail "the client wrote no log in $logs_dir"
say "client log $log_file"
wait_log 1 "$timeout" "vpn-service is running: true" || fail "the client did not reach vpn-service.exe"
wait_log 1 "$timeout" "Set VPN server IP: " || fail "the client got no server list"
wait_log 1 "$timeout" "geoip' finished, IP: " || fail "the client got no current IP"
say "server list and current IP $(current_ip_from 1) shown"

find_window || fail "no window titled $window_title"
# Let the window paint the list and the address before the picture.
sleep 2
mkdir -p "$(dirname "$shot")"
import -display "$DISPLAY" -window "$window" "$shot" || fail "no screenshot"
say "screenshot $shot"
