#!/usr/bin/env bash
# Builds the Debian package: scripts/build-package.sh [BUILD_DIR]   (default: build-package)
# A Release build without the development host's stand-ins and without tests, installed under /usr,
# the service and its tools in /usr/lib/korvexvpn. Prints the path of the .deb as its last line.
# Time stamps come from SOURCE_DATE_EPOCH, by default the commit's.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$top/build-package}"
"$top/scripts/install-deps.sh" >&2
# Reproducible: every time stamp in the package (the compiler's __DATE__, the archives' members) is
# the commit's, so two builds of one commit give the same bytes.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH="$(git -C "$top" log -1 --format=%ct 2>/dev/null || echo 0)"
fi
# Qt's resource compiler stamps every embedded file with it too.
export SOURCE_DATE_EPOCH QT_RCC_SOURCE_DATE_OVERRIDE="$SOURCE_DATE_EPOCH"
# What was compiled under another time stamp keeps it, and nothing rebuilds for a changed
# environment: a folder holds the build of one time stamp, cleaned when it changes (ccache makes
# the rebuild cheap).
if [ -f "$dir/CMakeCache.txt" ] && [ "$(cat "$dir/source-date-epoch" 2>/dev/null)" != "$SOURCE_DATE_EPOCH" ]; then
    cmake --build "$dir" --target clean >&2
fi
"$top/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DVPN_DEVHOST=OFF -DVPN_BUILD_TESTS=OFF \
    -DVPN_SANITIZE=OFF -DCMAKE_INSTALL_PREFIX=/usr -DVPN_PROGRAM_DIR=/usr/lib/korvexvpn \
    -DVPN_OPENVPN_PROGRAM=/usr/sbin/openvpn >&2
echo "$SOURCE_DATE_EPOCH" >"$dir/source-date-epoch"
(cd "$dir" && rm -f ./*.deb && cpack -G DEB >&2)
deb="$(ls "$dir"/*.deb)"
echo "$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"
