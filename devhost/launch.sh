#!/usr/bin/env bash
# Brings the development host up and runs the client in it: devhost/launch.sh BUILD_DIR
# Each devhost/setup.d/*.sh prepares one piece of the host, in name order; they are sourced
# with TOP, BUILD_DIR and APP_DIR set, and may set CLIENT_PREFIX (a command the client runs under).
set -euo pipefail
TOP="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="$(cd "${1:-$TOP/build}" && pwd)"
APP_DIR="$BUILD_DIR/app"
export TOP BUILD_DIR APP_DIR
CLIENT_PREFIX=()
for step in "$TOP"/devhost/setup.d/*.sh; do
    [ -e "$step" ] || continue
    echo "devhost: $(basename "$step")"
    # shellcheck source=/dev/null
    source "$step"
done

export PATH="$TOP/devhost/bin:$PATH"
client=("$APP_DIR/vpnclient")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "devhost: no display, running the client under Xvfb"
    client=(xvfb-run -a -s "-screen 0 1280x1024x24" "${client[@]}")
fi
echo "devhost: starting the client; logs in \${XDG_DATA_HOME:-~/.local/share}/vpnclient/logs"
"${CLIENT_PREFIX[@]}" "${client[@]}"
