#!/usr/bin/env bash
# Runs a program of the Windows build under Wine: scripts/windows/wine-run.sh PROGRAM.exe [ARGUMENTS...]
# ctest uses it for every Windows test (cmake/windows-toolchain.cmake). The Wine prefix is
# VPN_WINE_PREFIX, which scripts/windows/test.sh makes fresh for each run under the build folder;
# the program finds the toolkit's DLLs in the application folder VPN_WIN_APP_DIR.
set -euo pipefail
: "${VPN_WINE_PREFIX:?the Wine prefix of this run (scripts/windows/test.sh sets it)}"
: "${VPN_WIN_APP_DIR:?the Windows application folder (scripts/windows/test.sh sets it)}"
export WINEPREFIX="$VPN_WINE_PREFIX" WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="mscoree,mshtml="
# WINEPATH takes Windows paths; Z: is the host's root in a Wine prefix.
export WINEPATH="Z:${VPN_WIN_APP_DIR//\//\\}"
program="$1"
if [[ "$(basename "$program")" != tst_*.exe ]] || [ $# -gt 1 ]; then
    exec /usr/lib/wine/wine64 "$@"
fi
# A test's report written to a pipe under Wine is lost: it goes to a file, which is shown afterwards.
report="$(mktemp "${TMPDIR:-/tmp}/wine-test-XXXXXX")"
trap 'rm -f "$report"' EXIT
status=0
/usr/lib/wine/wine64 "$program" -o "Z:${report//\//\\},txt" || status=$?
cat "$report"
exit "$status"
