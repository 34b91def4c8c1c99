#!/usr/bin/env bash
# Pictures for the docs: the main window, the server list, the settings window and the gallery of controls, in
# both styles and both languages, under Xvfb: scripts/screenshots.sh BUILD_DIR [OUT_DIR]. The window tests'
# program hosts them (it sets up the style, the language and the models), so it is built first.
set -euo pipefail
build="$(realpath "${1:?build folder}")" out="$(realpath -m "${2:-$1/screens}")"
screens="$(dirname "$(realpath "$0")")/screenshots/Screens.qml"
cmake --build "$build" --target tst_windows >/dev/null
mkdir -p "$out" && cd "$out"
for style in light dark; do
    for language in en ru; do
        # A real X server rather than the offscreen platform, so fonts and window decorations go the usual way.
        xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb VPN_TEST_STYLE="$style" \
            VPN_TEST_LANGUAGE="$language" "$build/tests/bin/tst_windows" -input "$screens" >/dev/null
    done
done
ls "$out"/*.png
