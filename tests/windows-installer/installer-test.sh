#!/usr/bin/env bash
# The Windows installer under Wine, in a prefix of its own, with stand-in programs that log what
# they are asked (standin.cpp): a silent installation registers and starts the service; an upgrade
# restarts it and keeps the lock, the service's state and the users' settings; the removal lifts
# the lock and restores the resolvers before it stops the service, and leaves nothing of ours.
#   tests/windows-installer/installer-test.sh BUILD_DIR
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mkdir -p "$1/installer-test" && cd "$1/installer-test" && pwd)"
export WINEPREFIX="$work/wine-prefix" WINEDEBUG=-all
# No menu entries of the host for the Start-menu entry, no Mono or Gecko prompt.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=/usr/lib/wine/wine64
exec < /dev/null # Wine's reg asks before it overwrites.

app="$work/app"
rm -rf "$app" "$WINEPREFIX"
mkdir -p "$app/plugins/platforms"
x86_64-w64-mingw32-g++-posix -municode -O2 -s -static -Wall -Wextra -Werror \
    "$top/tests/windows-installer/standin.cpp" -o "$work/standin.exe"
for program in vpnclient vpn-service killswitch dns; do cp "$work/standin.exe" "$app/$program.exe"; done
echo plugin > "$app/plugins/platforms/qwindows.dll"
setup="$("$top/scripts/windows/installer.sh" "$work" "$app")"

"$wine" wineboot --init 2> /dev/null
/usr/lib/wine/wineserver -w
# Wine ends the services once no other program runs; a persistent server keeps the service running
# between the steps, as a machine does.
/usr/lib/wine/wineserver -p
trap '/usr/lib/wine/wineserver -k || true' EXIT
c="$WINEPREFIX/drive_c"
folder="$c/Program Files/Korvex"
log="$c/standin.log"
service='HKLM\System\CurrentControlSet\Services\vpn-service'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\korvexvpn'
settings='HKCU\Software\VPN\VPNClient'
failures=0
check() { # DESCRIPTION COMMAND...
    if ! "${@:2}"; then
        echo "FAIL: $1" >&2
        failures=$((failures + 1))
    fi
}
has_key() { "$wine" reg query "$1" > /dev/null 2>&1; }
no_key() { ! has_key "$1"; }
logged() { grep -qx "$1" "$log" 2> /dev/null; }
not_logged() { ! grep -q "$1" "$log" 2> /dev/null; }
eventually() { # The service reports from its own process, the uninstaller's copy from its own.
    for _ in $(seq 300); do "$@" && return 0; sleep 0.1; done
    return 1
}
# The lines the stand-ins logged before the service stopped.
before_stop() { sed '/^service stop/,$d' "$log"; }

check "installed: the installer succeeded" "$wine" "$setup" /S
check "installed: the programs" test -f "$folder/vpn-service.exe" -a -f "$folder/plugins/platforms/qwindows.dll"
check "installed: the uninstaller" test -f "$folder/uninstall.exe"
check "installed: the Start-menu entry" test -f "$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Korvex.lnk"
check "installed: the uninstall entry" has_key "$uninstall"
check "installed: the service, automatic start" \
    grep -q 'REG_DWORD.*0x2' <("$wine" reg query "$service" /v Start 2> /dev/null)
check "installed: the service's program" \
    grep -qi 'C:\\Program Files\\Korvex\\vpn-service.exe' <("$wine" reg query "$service" /v ImagePath 2> /dev/null)
check "installed: the service started" eventually logged "service start"

# A connected user's lock, the service's state and a user's settings, as an upgrade finds them.
mkdir -p "$c/ProgramData/Korvex" && echo on > "$c/ProgramData/Korvex/lockdown"
"$wine" reg add "$settings" /v server /d de-fra /f < /dev/null > /dev/null 2>&1
: > "$log"
check "upgrade: the installer succeeded" "$wine" "$setup" /S
check "upgrade: the service stopped" logged "service stop"
check "upgrade: the service started again" eventually logged "service start"
check "upgrade: the lock stays" not_logged killswitch
check "upgrade: the resolvers stay" not_logged dns
check "upgrade: the service's state stays" test -f "$c/ProgramData/Korvex/lockdown"

: > "$log"
# The uninstaller hands over to a copy of itself outside the folder, which ends by dropping its entry.
check "removal: the uninstaller succeeded" "$wine" "$folder/uninstall.exe" /S
check "removal: no uninstall entry" eventually no_key "$uninstall"
check "removal: the service stopped" logged "service stop"
check "removal: the lock lifted before the service stopped" grep -qx "killswitch disable all" <(before_stop)
check "removal: the resolvers restored before the service stopped" grep -qx "dns user" <(before_stop)
check "removal: no program folder" test ! -e "$folder"
check "removal: no service state" test ! -e "$c/ProgramData/Korvex"
check "removal: no Start-menu entry" test ! -e "$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Korvex.lnk"
check "removal: no service" no_key "$service"
check "removal: the user's settings stay" has_key "$settings"

if [ "$failures" -ne 0 ]; then
    echo "installer test: $failures failed; the stand-ins' log:" >&2
    cat "$log" >&2
    exit 1
fi
echo "installer test: passed ($(stat -c %s "$setup") bytes installer)"
