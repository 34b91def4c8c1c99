#!/usr/bin/env bash
# Builds the Windows programs (vpnclient.exe, vpn-service.exe, killswitch.exe, dns.exe) and the
# Windows build's tests against the cached toolkit (scripts/windows/toolkit.sh), warnings as errors,
# and lays out the application folder as installed: the programs, Qt's DLLs, the platform and image
# plugins, the QML modules, OpenSSL and the MinGW runtime.
#   scripts/windows/build.sh [BUILD_DIR]      (default: build-win; the folder is BUILD_DIR/app)
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
dir="${1:-$top/build-win}"
if ! toolkit="$("$top/scripts/windows/toolkit.sh" --dir)"; then
    echo "windows build: the toolkit is not cached (run scripts/windows/toolkit.sh)" >&2
    exit 1
fi
triplet=x86_64-w64-mingw32
# A toolkit that had to go without a module (its file `missing` says which and why) builds what does not
# need it; the run says what it left out, as skipped, never as passed.
if [ -s "$toolkit/missing" ]; then
    echo "skipped: vpnclient.exe, vpn-service.exe and their tests: the toolkit lacks $(cut -d: -f1 "$toolkit/missing" | paste -sd, -)"
fi
# The same commit gives the same programs (and so the same installer): no link time in the PE
# headers, the commit's time in the compiled-in resources.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH="$(git -C "$top" log -1 --format=%ct 2> /dev/null || echo 0)"
fi
export SOURCE_DATE_EPOCH QT_RCC_SOURCE_DATE_OVERRIDE="$SOURCE_DATE_EPOCH"

cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/windows-toolchain.cmake" \
    -DVPN_WIN_TOOLKIT="$toolkit" -DCMAKE_BUILD_TYPE=Release -DVPN_BUILD_TESTS=ON -DVPN_DEVHOST=OFF \
    -DCMAKE_EXE_LINKER_FLAGS=-Wl,--no-insert-timestamp > /dev/null
cmake --build "$dir" -j"$(nproc)"

app="$dir/app"
qt="$toolkit/qt"
# Laid out afresh each time: nothing of an earlier layout stays to be packed.
rm -rf "$app/plugins" "$app/qml" "$app"/*.dll "$dir"/tests/bin/*.dll
# Qt finds its plugins and QML modules beside the programs; the tests' folder borrows the app's.
printf '[Paths]\nPrefix=.\nPlugins=plugins\nQml2Imports=qml\n' > "$app/qt.conf"
printf '[Paths]\nPrefix=../../app\nPlugins=plugins\nQml2Imports=qml\n' > "$dir/tests/bin/qt.conf"
for plugin in platforms/qwindows.dll imageformats/qsvg.dll iconengines/qsvgicon.dll; do
    install -D -m 644 "$qt/plugins/$plugin" "$app/plugins/$plugin"
done
# The QML modules the windows import (qml/: QtQuick, its Controls 2, Layouts, Window).
for module in QtQml QtQuick.2 QtQuick/Controls.2 QtQuick/Templates.2 QtQuick/Layouts QtQuick/Window.2; do
    mkdir -p "$app/qml/$module"
    cp -a "$qt/qml/$module/." "$app/qml/$module/"
done

# Every DLL the programs, plugins and QML modules load, and what those load in turn, from the
# toolkit and the MinGW runtime; Windows' own DLLs are not ours to ship. What only the tests load
# (Qt's test library) goes beside them, not into the application folder that the installer packs.
search=("$qt/bin" "$toolkit/openssl/bin" "/usr/lib/gcc/$triplet/12-posix" "/usr/$triplet/lib")
declare -A seen=()
# ship FOLDER FILE...: the DLLs the files need, and theirs, that are not shipped yet, into FOLDER.
ship() {
    local folder="$1" file name source
    shift
    local pending=("$@")
    while [ ${#pending[@]} -gt 0 ]; do
        file="${pending[0]}"
        pending=("${pending[@]:1}")
        while read -r name; do
            [ -n "${seen[$name]:-}" ] && continue
            seen[$name]=1
            for source in "${search[@]}"; do
                if [ -f "$source/$name" ]; then
                    install -m 644 "$source/$name" "$folder/$name"
                    pending+=("$folder/$name")
                    break
                fi
            done
        done < <("$triplet-objdump" -p "$file" 2> /dev/null | awk '/DLL Name:/ {print $3}')
    done
}
mapfile -t shipped < <(find "$app" -maxdepth 1 -name '*.exe'; find "$app/plugins" "$app/qml" -name '*.dll')
ship "$app" "${shipped[@]}"
ship "$dir/tests/bin" "$dir"/tests/bin/*.exe
echo "$app"
