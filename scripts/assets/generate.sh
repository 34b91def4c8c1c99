#!/usr/bin/env bash
# Regenerates the interface's assets and their resource files: scripts/assets/generate.sh
#
#   resources/fonts/        Poppins Regular and Bold (TrueType) from the npm package @fontsource/poppins, and
#                           their Cyrillic fallback Montserrat Regular and Bold from @fontsource/montserrat
#   resources/icons/flags/  a 128 x 96 PNG per code of the npm package flag-icons (its 4x3 SVGs)
#   resources/icons/        our own icons, rendered from resources/icons/svg/ at their drawn size
#
# Needs npm, python3 with fontTools (Debian: fonttools) and rsvg-convert (Debian: librsvg2-bin).
# The results are committed, so building the client needs none of these.
set -euo pipefail

POPPINS_VERSION=5.3.0
MONTSERRAT_VERSION=5.3.0
FLAG_ICONS_VERSION=7.5.0

top="$(cd "$(dirname "$0")/../.." && pwd)"
here="$top/scripts/assets"
fonts="$top/resources/fonts"
icons="$top/resources/icons"
flags="$icons/flags"
python=/usr/bin/python3

for tool in npm rsvg-convert "$python"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
"$python" -c 'import fontTools' 2>/dev/null || { echo "missing: python3 fontTools" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm install --silent --no-audit --no-fund --ignore-scripts \
    "@fontsource/poppins@$POPPINS_VERSION" "@fontsource/montserrat@$MONTSERRAT_VERSION" \
    "flag-icons@$FLAG_ICONS_VERSION")
poppins="$work/node_modules/@fontsource/poppins"
montserrat="$work/node_modules/@fontsource/montserrat"
flagicons="$work/node_modules/flag-icons"

# qrc_write FILE PREFIX FILES... : a resource file listing FILES (relative to FILE's folder).
qrc_write() {
    local file="$1" prefix="$2"; shift 2
    {
        echo "<RCC>"
        echo "    <qresource prefix=\"$prefix\">"
        local f
        for f in "$@"; do echo "        <file>$f</file>"; done
        echo "    </qresource>"
        echo "</RCC>"
    } >"$file"
}

# Fonts: the latin and latin-ext subsets of each weight joined into one TrueType file.
mkdir -p "$fonts"
"$python" "$here/woff2ttf.py" "$fonts/Poppins-Regular.ttf" \
    "$poppins/files/poppins-latin-400-normal.woff" "$poppins/files/poppins-latin-ext-400-normal.woff"
"$python" "$here/woff2ttf.py" "$fonts/Poppins-Bold.ttf" \
    "$poppins/files/poppins-latin-700-normal.woff" "$poppins/files/poppins-latin-ext-700-normal.woff"
cp "$poppins/LICENSE" "$fonts/LICENSE.Poppins.txt"
# Poppins has no Cyrillic. Montserrat, as geometric and with the same cap height and weights, draws
# the Russian texts; only its Cyrillic subset is taken, the rest stays Poppins'.
"$python" "$here/woff2ttf.py" "$fonts/Montserrat-Regular.ttf" "$montserrat/files/montserrat-cyrillic-400-normal.woff"
"$python" "$here/woff2ttf.py" "$fonts/Montserrat-Bold.ttf" "$montserrat/files/montserrat-cyrillic-700-normal.woff"
cp "$montserrat/LICENSE" "$fonts/LICENSE.Montserrat.txt"
qrc_write "$fonts/fonts.qrc" /resources/fonts Poppins-Regular.ttf Poppins-Bold.ttf Montserrat-Regular.ttf Montserrat-Bold.ttf

# Flags, named by lower-case code.
rm -rf "$flags"
mkdir -p "$flags"
flag_files=()
for svg in "$flagicons"/flags/4x3/*.svg; do
    code="$(basename "$svg" .svg | tr '[:upper:]' '[:lower:]')"
    rsvg-convert --width 128 --height 96 --output "$flags/$code.png" "$svg"
    flag_files+=("$code.png")
done
cp "$flagicons/LICENSE" "$flags/LICENSE.flag-icons.txt"
qrc_write "$flags/flags.qrc" /resources/icons/flags "${flag_files[@]}"

# Our own icons. The logo's lettering comes from the Bold face converted above.
"$python" "$here/logo.py" "$fonts/Poppins-Bold.ttf" "$icons/svg/vpn.svg"
icon_files=()
for svg in "$icons"/svg/*.svg; do
    name="$(basename "$svg" .svg)"
    rsvg-convert --output "$icons/$name.png" "$svg"
    icon_files+=("$name.png")
done
qrc_write "$icons/icons.qrc" /resources/icons "${icon_files[@]}"

echo "fonts: 4, flags: ${#flag_files[@]}, icons: ${#icon_files[@]}"
