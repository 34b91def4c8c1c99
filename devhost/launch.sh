#!/usr/bin/env bash
# Brings the development host up and runs the client in it: devhost/launch.sh BUILD_DIR
# Each devhost/setup.d/*.sh prepares one piece of the host, in name order; they are sourced
# with TOP, BUILD_DIR and APP_DIR set, and may set CLIENT_PREFIX (a command the client runs under).
# With a display the client opens for a person; without one devhost/session.sh drives a scripted
# session (connect, screenshot, disconnect) and its exit code is the launcher's.
# devhost/down.sh takes the host down again.
set -euo pipefail
TOP="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="$(cd "${1:-$TOP/build}" && pwd)"
APP_DIR="$BUILD_DIR/app"
# Run-time files (pid files, logs, the session's screenshot); a test gives its own so that it
# never meets a development host a person runs from the same build.
DEVHOST_DIR="${DEVHOST_DIR:-$BUILD_DIR/devhost}"
export TOP BUILD_DIR APP_DIR DEVHOST_DIR
CLIENT_PREFIX=()
for step in "$TOP"/devhost/setup.d/*.sh; do
    [ -e "$step" ] || continue
    echo "devhost: $(basename "$step")"
    # shellcheck source=/dev/null
    source "$step"
done

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "devhost: no display, running a scripted session under Xvfb"
    exec "$TOP/devhost/session.sh" "${CLIENT_PREFIX[@]}" "$APP_DIR/vpnclient"
fi
echo "devhost: starting the client; logs in \${XDG_DATA_HOME:-~/.local/share}/vpnclient/logs"
"${CLIENT_PREFIX[@]}" "$APP_DIR/vpnclient"
