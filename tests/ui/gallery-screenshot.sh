#!/usr/bin/env bash
# Screenshot of the control gallery under Xvfb: tests/ui/gallery-screenshot.sh BUILD_DIR [OUT.png]
set -euo pipefail
build="$(realpath "${1:?build folder}")" out="$(realpath -m "${2:-$1/gallery.png}")" gallery="$(dirname "$(realpath "$0")")/gallery/Gallery.qml"
cmake --build "$build" --target tst_controls >/dev/null
# A real X server rather than the offscreen platform, so fonts and cursors go the usual way.
cd "$(mktemp -d)" && xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb "$build/tests/bin/tst_controls" -input "$gallery" >/dev/null
mv gallery.png "$out" && echo "$out"
