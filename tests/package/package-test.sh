#!/usr/bin/env bash
# The Debian package as it installs: built (or brought up to date) by scripts/build-package.sh,
# checked by lintian and systemd-analyze, unpacked into a clean root, and its service and client
# started from the unpacked paths in a network namespace of their own.
#   package-test.sh PACKAGE_BUILD_DIR
# Needs root (the service and a private network namespace); exits 77 (skipped) without it.
set -uo pipefail
TOP="$(cd "$(dirname "$0")/../.." && pwd)"
# shellcheck source=tests/support/testkit.sh
source "$TOP/tests/support/testkit.sh"
require root
package_dir="$1"
work="$(mktemp -d /tmp/vpnpkg-XXXXXX)"
trap 'rm -rf "$work"' EXIT

deb="$("$TOP/scripts/build-package.sh" "$package_dir" 2>"$work/build.log" | tail -n 1)"
if [ ! -f "$deb" ]; then
    tail -n 40 "$work/build.log"
    echo "FAIL: no package built"
    exit 1
fi
echo "package: $deb"

# The package's name and where its unit lies.
root="$work/root"
dpkg-deb -x "$deb" "$root"
name="$(dpkg-deb -f "$deb" Package)"
libdir="/usr/lib/$name"
unit="$root/lib/systemd/system/vpn-service.service"

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
# The sandbox: systemd's own rating of the unit at most 4.0 ("OK"); the booted lab shows it holds.
systemd-analyze security --offline=true --threshold=40 --no-pager "$unit" >"$work/security.txt" 2>&1
rated=$?
check "systemd-analyze rates the unit's exposure at most 4.0: $(grep -o 'exposure level.*' "$work/security.txt")" \
    test "$rated" -eq 0
exec_line="$(sed -n 's/^ExecStart=//p' "$unit")"
check "the unit starts the installed service" test "${exec_line%% *}" = "$libdir/vpn-service"
desktop="$root/usr/share/applications/$name.desktop"
desktop_exec="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop" 2>/dev/null)"
desktop_icon="$(sed -n 's/^Icon=//p' "$desktop" 2>/dev/null)"
check "the desktop entry starts the installed client" test -n "$desktop_exec" -a -x "$root/usr/bin/$desktop_exec"
check "the desktop entry's icon is installed" \
    test -n "$desktop_icon" -a -f "$root/usr/share/icons/hicolor/48x48/apps/$desktop_icon.png"

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

# The service and the client from the unpacked paths, alone in a namespace of their own: the
# service lists the programs it may run, the client finds it on its port.
cat >"$work/run.sh" <<EOF
set -u
ip link set lo up
"$root$libdir/vpn-service" --log-file "$work/service.log" --state-dir "$work/state" 2>"$work/service.err" &
service=\$!
for _ in \$(seq 100); do ss -Hltn "sport = :6447" >"$work/listening" && grep -q . "$work/listening" && break; sleep 0.1; done
export HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config" TMPDIR="$work/home"
export QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software
mkdir -p "\$HOME"
"$root/usr/bin/vpnclient" >"$work/client.out" 2>&1 &
client=\$!
for _ in \$(seq 600); do
    cat "$work"/home/data/vpnclient/logs/*.log 2>/dev/null | grep -q "vpn-service is running:" && break
    kill -0 \$client 2>/dev/null || break
    sleep 0.1
done
# The client first: it may still be joining the service, which must not go away under it.
kill \$client 2>/dev/null
wait \$client
kill \$service 2>/dev/null
wait \$service
EOF
unshare -n bash "$work/run.sh"
cat "$work"/home/data/vpnclient/logs/*.log >"$work/client.log" 2>/dev/null

check "the service listened on 127.0.0.1:6447" grep -qF " 127.0.0.1:6447 " "$work/listening"
programs="$(sed -n 's/.*: Program \([a-z]*\): \(.*\)$/\1 \2/p' "$work/service.log")"
check "the service lists its three programs" test "$(echo "$programs" | grep -c .)" -eq 3
while read -r program path; do
    [ -n "$program" ] || continue
    # The service's own tools come with the package; OpenVPN comes from Debian's package.
    case "$path" in
        "$libdir"/*) check "$program is installed at $path" test -x "$root$path" ;;
        *) check "$program is at $path" test -x "$path" ;;
    esac
done <<<"$programs"
check "the client started and found the service" grep -q "vpn-service is running: true" "$work/client.log"
check "the client's start-up had no critical error" bash -c "! grep -q '^[^	]*	critical	' '$work/client.log'"

[ "$failures" -eq 0 ] || { tail -n +1 "$work"/{service.log,client.log,client.out,lintian.txt}; echo "$failures check(s) failed"; exit 1; }
echo "all package checks passed"
