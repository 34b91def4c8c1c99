#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each (default 5), seeded from fuzz/seeds and the test fixtures;
# the corpus grows in BUILD_DIR/fuzz-corpus between runs. Fails on the first crash, leak, timeout
# or broken property (the input is left in BUILD_DIR/fuzz-findings):
#   scripts/fuzz.sh [SECONDS] [BUILD_DIR]
# The build: CC=clang CXX=clang++ scripts/build.sh build-fuzz -DVPN_FUZZ=ON
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-5}"
build="$(cd "${2:-$top/build-fuzz}" && pwd)"
findings="$build/fuzz-findings"
mkdir -p "$findings"

seed() { # NAME FILES...: copies the files into the target's corpus
    local corpus="$build/fuzz-corpus/$1"; shift
    mkdir -p "$corpus"
    [ $# -eq 0 ] || cp -f "$@" "$corpus/"
}
for dir in "$top"/fuzz/seeds/*/; do seed "$(basename "$dir")" "$dir"*; done
seed feed "$top"/tests/data/servers/feed-*.xml
seed routeprint "$top"/tests/data/connection/route-*.txt
# The cipher vectors' texts, behind a first byte that picks the modes.
seed decipher
n=0
while read -r text; do
    { printf '\x00'; printf '%s' "$text" | base64 -d 2>/dev/null || true; } >"$build/fuzz-corpus/decipher/vector-$((n++))"
done < <(awk '$1 == "enc" { print $NF } $1 == "dec" { print $4 }' "$top/tests/data/settings/cipher_vectors.txt")

for target in "$build"/fuzz/fuzz_*; do
    name="${target##*/fuzz_}"
    mkdir -p "$build/fuzz-corpus/$name"
    echo "-- $name (${seconds}s)"
    log="$build/fuzz-corpus/$name.log"
    status=0
    suppressions="$top/fuzz/lsan-$name.supp"
    [ -f "$suppressions" ] || suppressions=/dev/null
    ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$suppressions" UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -artifact_prefix="$findings/$name-" -print_final_stats=1 "$build/fuzz-corpus/$name" >"$log" 2>&1 || status=$?
    grep -E "^stat::(number_of_executed_units|new_units_added)" "$log" | tr '\n' ' ' && echo
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log"
        echo "fuzz_$name found a fault; the input is in $findings"
        exit 1
    fi
done
echo "== fuzzing: no fault found"
