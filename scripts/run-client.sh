#!/usr/bin/env bash
# Installs what the client needs, builds it, prepares the development host and starts the
# client. Without a display it runs under Xvfb.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
# Only what the running system needs; the tests are built by scripts/run-tests.sh.
cmake --build build -j"$(nproc)" --target vpnclient vpn-service devhost_maintenancetool devhost_seed killswitch dns
exec devhost/launch.sh build "$@"
