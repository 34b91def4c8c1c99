#!/usr/bin/env bash
# Installs what the tests need, builds, type-checks the Windows sides with MinGW-w64, and runs every
# test: once in a normal build and once under AddressSanitizer and UndefinedBehaviorSanitizer; then
# a short fuzzing run of each parser.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software
jobs="$(nproc)"

echo "== build (tests)"
scripts/build.sh build -DVPN_BUILD_TESTS=ON
echo "== Windows sides (MinGW-w64 type-check)"
scripts/wincheck.sh build
# The Windows build needs the toolkit, which is built once per machine and never here: with it, the
# Windows programs are built and their tests run under Wine; without it, the run says it skipped them.
windows_build=skipped
if scripts/windows/toolkit.sh --dir > /dev/null; then
    windows_build=yes
else
    echo "skipped: Windows build (toolkit not cached; run scripts/windows/toolkit.sh)"
fi
# The installer's script needs no toolkit: its test packs stand-in programs and runs it under Wine.
echo "== Windows installer (under Wine)"
tests/windows-installer/installer-test.sh build
echo "== tests"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 600)

if [ "$windows_build" = yes ]; then
    echo "== Windows build and its tests under Wine"
    scripts/windows/test.sh build-win
fi

echo "== build (sanitizers)"
scripts/build.sh build-asan -DVPN_BUILD_TESTS=ON -DVPN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
echo "== tests (sanitizers)"
# Leaks are faults too; the suppressions name only what a library allocates once and never frees (the
# window tests add whole stacks for them: tests/CMakeLists.txt).
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS="suppressions=$top/tests/support/lsan.supp"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j"$jobs" --timeout 900 -LE no-sanitize)
echo "== build (fuzz targets, clang)"
CC=clang CXX=clang++ scripts/build.sh build-fuzz -DVPN_FUZZ=ON
echo "== fuzzing (a few seconds per parser)"
scripts/fuzz.sh 5 build-fuzz
echo "== all tests passed"
