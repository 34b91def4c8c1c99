#!/usr/bin/env bash
# The Windows installer under Wine, in a prefix of its own, with stand-in programs that log what
# they are asked (standin.cpp): a silent installation registers and starts the service; an upgrade
# restarts it and keeps the lock, the service's state and the users' settings; the removal lifts
# the lock and restores the resolvers before it stops the service, and leaves nothing of ours.
#   tests/windows-installer/installer-test.sh BUILD_DIR
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mkdir -p "$1/installer-test" && cd "$1/installer-test" && pwd)"
# No menu entries of the host for the Start-menu entry, no Mono or Gecko prompt.
export WINEPREFIX="$work/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=/usr/lib/wine/wine64
exec < /dev/null # Wine's reg asks before it overwrites.

rm -rf "$work/app" "$WINEPREFIX"
mkdir -p "$work/app/plugins/platforms" && echo plugin > "$work/app/plugins/platforms/qwindows.dll"
x86_64-w64-mingw32-g++-posix -O2 -s -static -Wall -Wextra -Werror "$top/tests/windows-installer/standin.cpp" \
    -o "$work/app/vpn-service.exe"
for program in vpnclient killswitch dns; do cp "$work/app/vpn-service.exe" "$work/app/$program.exe"; done
setup="$("$top/scripts/windows/installer.sh" "$work" "$work/app")"
# A second build of the same files, with other times, gives the same bytes.
mv "$setup" "$work/first.exe" && find "$work/app" -exec touch -d @1000000000 {} +
cmp "$work/first.exe" "$("$top/scripts/windows/installer.sh" "$work" "$work/app")"

"$wine" wineboot --init 2> /dev/null
/usr/lib/wine/wineserver -w
# Wine ends the services once no other program runs; a persistent server keeps them running between
# the steps, as a machine does.
/usr/lib/wine/wineserver -p
trap '/usr/lib/wine/wineserver -k || true' EXIT
c="$WINEPREFIX/drive_c"
ours=("$c/Program Files/Korvex" "$c/ProgramData/Korvex" "$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Korvex.lnk")
service='HKLM\System\CurrentControlSet\Services\vpn-service'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\korvexvpn'
settings='HKCU\Software\VPN\VPNClient'
saved='HKLM\Software\Korvex\dns\{0}' # the DNS tool's copy of a user's resolvers
failures=0
check() { "${@:2}" || { echo "FAIL: $1" >&2 && failures=$((failures + 1)); }; }
# The service and the uninstaller's copy run on their own: waits for what they do, at most 30 s.
eventually() { for _ in $(seq 300); do "$@" && return; sleep 0.1; done && false; }
query() { "$wine" reg query "$@" 2> /dev/null; }
has() { query "$1" > /dev/null; }
gone() { ! has "$1"; }
logged() { grep -qx "$1" "$c/standin.log"; }
run() { : > "$c/standin.log" && check "$1: the installer succeeded" "$wine" "${@:2}"; }

run installation "$setup" /S
check "installation: files and Start-menu entry" test -f "${ours[0]}/plugins/platforms/qwindows.dll" -a -f "${ours[2]}"
check "installation: uninstall entry" has "$uninstall"
check "installation: automatic start" grep -q 'Start.*0x2' <(query "$service" /v Start)
check "installation: the service's program" grep -qF 'C:\Program Files\Korvex\vpn-service.exe' <(query "$service")
check "installation: the service started" eventually logged "service start"

# A connected user's lock, the service's state (lockdown) and a user's settings.
mkdir -p "${ours[1]}" && echo on > "${ours[1]}/lockdown"
for key in "$settings" "$saved"; do "$wine" reg add "$key" /v x /d 1 /f > /dev/null 2>&1; done
run upgrade "$setup" /S
check "upgrade: the service stopped and started again" eventually grep -qz 'service stop.service start' "$c/standin.log"
check "upgrade: the lock and the resolvers stay" test -z "$(grep -v '^service' "$c/standin.log")"
check "upgrade: the service's state stays" test -f "${ours[1]}/lockdown"
check "upgrade: the resolvers' copy stays" has "$saved"

# The uninstaller hands over to a copy of itself outside the folder, which ends by dropping its entry.
run removal "${ours[0]}/uninstall.exe" /S
check "removal: its end" eventually gone "$uninstall"
check "removal: lock, resolvers, then the service" grep -qz 'killswitch disable all.dns user.service stop' "$c/standin.log"
for path in "${ours[@]}"; do check "removal: $path" test ! -e "$path"; done
check "removal: the service" gone "$service"
check "removal: our key" gone "${saved%%\\dns*}"
check "removal: the user's settings stay" has "$settings"

[ "$failures" -eq 0 ] || { echo "installer test: $failures failed; the stand-ins' log:" && cat "$c/standin.log"; } >&2
[ "$failures" -eq 0 ] && echo "installer test: passed ($(stat -c %s "$setup") bytes installer)"
