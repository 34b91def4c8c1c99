#!/usr/bin/env bash
# Screenshot of the control gallery under Xvfb: tests/ui/gallery-screenshot.sh BUILD_DIR [OUT.png]
set -euo pipefail
build="${1:?build folder}"
out="${2:-$build/gallery.png}"
cmake --build "$build" --target vpn_gallery >/dev/null
# A real X server rather than the offscreen platform, so fonts and cursors go the usual way.
xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb "$build/tests/bin/vpn_gallery" --screenshot "$out"
echo "$out"
