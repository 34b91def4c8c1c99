#!/usr/bin/env bash
# Renders the application icon's PNG sizes from korvexvpn.svg (needs rsvg-convert, Debian: librsvg2-bin).
# The results are committed, so building the package needs no renderer.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --output "$here/korvexvpn-$size.png" "$here/korvexvpn.svg"
done
