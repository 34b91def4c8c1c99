#!/usr/bin/env bash
# Screenshots of the main window, the server list and the settings window under Xvfb, once tst_windows is
# built: tests/windows/windows-screenshot.sh BUILD_DIR [OUT_DIR]
set -euo pipefail
build="$(realpath "${1:?build folder}")" out="$(realpath -m "${2:-$1/screens}")"
screens="$(dirname "$(realpath "$0")")/screens/Screens.qml"
mkdir -p "$out" && cd "$out"
# A real X server rather than the offscreen platform, so fonts and window decorations go the usual way.
xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb "$build/tests/bin/tst_windows" -input "$screens" >/dev/null
ls "$out"/*.png
