#!/usr/bin/env bash
# One short round of the benchmarks: smoke.sh BUILD_DIR. Passes when every figure of the table has a
# value for the client and for its floor; the values themselves are not judged.
set -uo pipefail
TOP="$(cd "$(dirname "$0")/../.." && pwd)"
# shellcheck source=tests/support/testkit.sh
source "$TOP/tests/support/testkit.sh"
require root tun openvpn
out="$(mktemp /tmp/vpnbench-smoke-XXXXXX)"
trap 'rm -f "$out"' EXIT
env -u QT_QPA_PLATFORM -u QT_QUICK_BACKEND VPNC_E2E_LOCK_HELD=1 \
    "$TOP/bench/run.sh" "$1" --rounds 1 --idle-seconds 1 --flood 20 --probes 5 --cycles 2,4 >"$out" 2>&1
status=$?
cat "$out"
check "bench/run.sh exit code 0 ($status)" test "$status" -eq 0
for figure in "start-up to first frame" "resident memory" "click -> Connected" "click -> Disconnected" \
    "CPU while connected" "wake-ups per second" "frames per second" "service round trip, flooded" \
    "root's round trip, a member's costliest commands"; do
    # A measured row: "| figure | number unit (...) | number unit (...) |".
    check "values for $figure" grep -qE "^\| ${figure}[^|]*\| [0-9.]+ [^|]+\| [0-9.]+ " "$out"
done
exit $((failures > 0))
