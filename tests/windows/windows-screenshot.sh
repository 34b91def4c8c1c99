#!/usr/bin/env bash
# Screenshots of the main window, the server list and the settings window under Xvfb, in both styles and both
# languages, once tst_windows is built: tests/windows/windows-screenshot.sh BUILD_DIR [OUT_DIR]
set -euo pipefail
build="$(realpath "${1:?build folder}")" out="$(realpath -m "${2:-$1/screens}")"
screens="$(dirname "$(realpath "$0")")/screens/Screens.qml"
mkdir -p "$out" && cd "$out"
for style in light dark; do
    for language in en ru; do
        # A real X server rather than the offscreen platform, so fonts and window decorations go the usual way.
        xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb VPN_TEST_STYLE="$style" \
            VPN_TEST_LANGUAGE="$language" "$build/tests/bin/tst_windows" -input "$screens" >/dev/null
    done
done
ls "$out"/*.png
