#!/usr/bin/env bash
# The Debian package as it is built: by scripts/build-package.sh (or brought up to date), checked
# by lintian and systemd-analyze, and its window's QML modules against its dependencies. Installed
# and used on a booted system: tests/lab (the unit, its sandbox, the desktop entry, the tools'
# paths).
#   package-test.sh PACKAGE_BUILD_DIR
# Needs root (as the package build does); exits 77 (skipped) without it.
set -uo pipefail
TOP="$(cd "$(dirname "$0")/../.." && pwd)"
# shellcheck source=tests/support/testkit.sh
source "$TOP/tests/support/testkit.sh"
require root
work="$(mktemp -d /tmp/vpnpkg-XXXXXX)"
trap 'rm -rf "$work"' EXIT

deb="$(package_of "$TOP" "$1")" || { echo "$deb" && exit 1; }
echo "package: $deb"

root="$work/root"
dpkg-deb -x "$deb" "$root"
name="$(dpkg-deb -f "$deb" Package)"

lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1
check "lintian reports no error" test $? -eq 0
grep '^E: ' "$work/lintian.txt"

# The unit's program is looked up under the unpacked root, as systemd would find it once installed;
# the targets every unit depends on are the host's. A line systemd ignores still counts as a fault.
mkdir -p "$root/usr/lib/systemd"
ln -s /lib/systemd/system "$root/usr/lib/systemd/system"
systemd-analyze verify --root="$root" --man=no /lib/systemd/system/vpn-service.service /lib/systemd/system/vpn-service.socket >"$work/verify.txt" 2>&1
check "systemd-analyze verify accepts the unit" test $? -eq 0 -a ! -s "$work/verify.txt"
cat "$work/verify.txt"
desktop_icon="$(sed -n 's/^Icon=//p' "$root/usr/share/applications/$name.desktop" 2>/dev/null)"
check "the desktop entry's icon is installed" \
    test -n "$desktop_icon" -a -f "$root/usr/share/icons/hicolor/48x48/apps/$desktop_icon.png"

# Where the desktop and the terminal look for the client.
check "the desktop entry is valid" desktop-file-validate "$root/usr/share/applications/$name.desktop"
check "the AppStream metadata is valid" appstreamcli validate --no-net --pedantic \
    "$root/usr/share/metainfo/net.korvex.$name.metainfo.xml"
check "the command line is installed with its manual page and completion" test -x "$root/usr/bin/korvex" \
    -a -f "$root/usr/share/man/man1/korvex.1.gz" -a -f "$root/usr/share/bash-completion/completions/korvex"

# Every QML module the window imports comes from a Debian package the package depends on: here
# they are all installed for the build, on a user's machine only what Depends brings.
depends="$(dpkg-deb -f "$deb" Depends | tr ',|' '\n' | sed 's/(.*//; s/[[:space:]]//g')"
qml_root="$(qmake -query QT_INSTALL_QML 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt5/qml)"
while read -r module version; do
    major="${version%%.*}"
    qmldir=""
    for dir in "${module//.//}.$version" "${module//.//}.$major" "${module//.//}"; do
        [ -f "$qml_root/$dir/qmldir" ] && qmldir="$qml_root/$dir/qmldir" && break
    done
    provider="$(dpkg -S "$qmldir" 2>/dev/null | cut -d: -f1)"
    check "QML $module $version comes with a dependency (${provider:-no package})" \
        grep -qx "${provider:-none}" <<<"$depends"
done < <(grep -rhoE '^import Qt[A-Za-z.]* [0-9.]+' "$TOP/qml" | cut -d' ' -f2- | sort -u)

exit $((failures > 0))
