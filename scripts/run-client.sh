#!/usr/bin/env bash
# Installs what the client needs, builds it, prepares the development host and starts the
# client. Without a display it runs under Xvfb.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
scripts/install-deps.sh
scripts/build.sh build -DVPN_BUILD_TESTS=OFF
exec devhost/launch.sh build "$@"
