#!/usr/bin/env bash
# Builds the Windows installer (packaging/windows/installer.nsi, Debian's makensis) from the
# application folder that scripts/windows/build.sh lays out, and prints its path:
#   scripts/windows/installer.sh BUILD_DIR [APP_DIR]      (APP_DIR default: BUILD_DIR/app)
# The installer is BUILD_DIR/KorvexVPN-VERSION-setup.exe. Two builds of one application folder give
# the same bytes: the files go in sorted by name and without their times (SetDateSave off), and
# Debian's makensis writes no time of its own (the PE header's stamp is its stub's; it does not read
# SOURCE_DATE_EPOCH, and needs not).
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
dir="$(cd "${1:?usage: installer.sh BUILD_DIR [APP_DIR]}" && pwd)"
app="$(cd "${2:-$dir/app}" && pwd)"
command -v makensis > /dev/null || { echo "installer: makensis is missing (apt-get install nsis)" >&2; exit 1; }
for program in vpnclient vpn-service killswitch dns; do
    [ -f "$app/$program.exe" ] || { echo "installer: $app has no $program.exe" >&2; exit 1; }
done

version="$(sed -n 's/^project(vpnclient VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")"
[ -n "$version" ] || { echo "installer: no version in CMakeLists.txt" >&2; exit 1; }

# The folder's files for the script, one SetOutPath per folder, in an order that no file system
# chooses; makensis reads "$" as its own, so names carry it doubled.
files="$dir/installer-files.nsh"
{
    echo "!macro VPN_FILES"
    current=""
    while IFS= read -r -d '' path; do
        case "$path" in *'"'* | *'`'* | *"'"*)
            echo "installer: a file name makensis cannot quote: $path" >&2
            exit 1
            ;;
        esac
        folder="$(dirname "$path")"
        if [ "$folder" != "$current" ]; then
            current="$folder"
            [ "$folder" = . ] && sub="" || sub="\\${folder//\//\\}"
            echo "    SetOutPath \"\$INSTDIR${sub//\$/\$\$}\""
        fi
        echo "    File \"${app//\$/\$\$}/${path//\$/\$\$}\""
    done < <(cd "$app" && find . -type f -printf '%P\0' | LC_ALL=C sort -z)
    echo "!macroend"
    # The subfolders are replaced whole on an upgrade, so that no plugin of an older version stays.
    echo "!macro VPN_REPLACED_FOLDERS"
    while IFS= read -r -d '' folder; do
        echo "    RMDir /r \"\$INSTDIR\\${folder//\$/\$\$}\""
    done < <(cd "$app" && find . -mindepth 1 -maxdepth 1 -type d -printf '%P\0' | LC_ALL=C sort -z)
    echo "!macroend"
} > "$files"

out="$dir/KorvexVPN-$version-setup.exe"
makensis -V2 -WX -NOCD -DVERSION="$version" -DFILES="$files" -DOUT_FILE="$out" "$top/packaging/windows/installer.nsi" >&2
echo "$out"
