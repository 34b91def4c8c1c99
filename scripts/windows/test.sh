#!/usr/bin/env bash
# Builds the Windows programs against the cached toolkit and runs the Windows build's tests under
# Wine, in a Wine prefix made fresh for this run inside the build folder, under Xvfb; then the
# installer's test (tests/windows-installer/).
#   scripts/windows/test.sh [BUILD_DIR]      (default: build-win)
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
dir="${1:-$top/build-win}"
"$top/scripts/windows/build.sh" "$dir"
dir="$(cd "$dir" && pwd)"

export VPN_WIN_APP_DIR="$dir/app" VPN_WINE_PREFIX="$dir/wine-prefix"
rm -rf "$VPN_WINE_PREFIX"
# Wine's own set-up of the prefix (registry, system folders) before the first test uses it.
WINEPREFIX="$VPN_WINE_PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" /usr/lib/wine/wine64 wineboot --init
cd "$dir"
status=0
xvfb-run -a ctest --output-on-failure --timeout 300 || status=$?
WINEPREFIX="$VPN_WINE_PREFIX" /usr/lib/wine/wineserver -k || true
# The installer, under Wine in a prefix of its own, with stand-ins for the programs.
"$top/tests/windows-installer/installer-test.sh" "$dir" || status=1
exit "$status"
