#!/usr/bin/env bash
# The installed package against the development host: devhost/package-session.sh [PACKAGE.deb]
# Installs the package when one is named (apt install ./PACKAGE.deb), brings up the development
# host's network, provider API stand-in and VPN servers, starts the installed service inside the
# client namespace with its unit's command line and runs the installed client there: with a display
# for a person to use, without one the launcher's scripted session (connect, screenshot,
# disconnect). The client, the service, its tools and OpenVPN all run from the installed paths;
# from the checkout come only the development host itself and, without a display, the session
# driver and the program that stores the demo account (build/app/devhost-seed).
# Needs root. devhost/down.sh takes the host down again.
set -euo pipefail
TOP="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$TOP/build}"
DEVHOST_DIR="${DEVHOST_DIR:-$BUILD_DIR/devhost-package}"
package=korvexvpn
unit=/lib/systemd/system/vpn-service.service
client=/usr/bin/vpnclient

die() {
    echo "package-session: $*" >&2
    exit 1
}
[ "$(id -u)" -eq 0 ] || die "needs root (network namespaces, the service)"
if [ $# -ge 1 ]; then
    deb="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
    DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb"
fi
dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
    || die "the package $package is not installed (apt install ./${package}_VERSION_ARCH.deb)"
if [ ! -f "$unit" ] || [ ! -x "$client" ]; then
    die "$unit or $client missing: reinstall the package"
fi

# The unit's command line, as systemd would run it.
read -r -a service_command <<<"$(sed -n 's/^ExecStart=//p' "$unit")"
[ -x "${service_command[0]:-}" ] || die "the unit's program ${service_command[0]:-?} is missing"
case "${service_command[0]}" in
    "$TOP"/*) die "the unit runs a program of the checkout: ${service_command[0]}" ;;
esac
# A service the unit started listens in the machine's own namespace; it stays as it is.
mkdir -p /var/log/$package
chmod 700 /var/log/$package

export TOP BUILD_DIR DEVHOST_DIR APP_DIR="$BUILD_DIR/app"
mkdir -p "$DEVHOST_DIR"
# shellcheck disable=SC2034 # the setup steps add to it
CLIENT_PREFIX=()
# Only the provider's side and the network: the client's machine is the package's.
for step in 10-netns 22-resolver 40-api 50-vpnserver; do
    echo "devhost: $step"
    # shellcheck source=/dev/null
    source "$TOP/devhost/setup.d/$step.sh"
done

service_out="$DEVHOST_DIR/vpn-service.out"
ip netns exec "$CLIENT_NETNS" setsid "${service_command[@]}" </dev/null >"$service_out" 2>&1 &
service_pid=$!
for _ in $(seq 100); do
    grep -q "Listening on" "$service_out" 2>/dev/null && break
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.1
done
grep -q "Listening on" "$service_out" || {
    cat "$service_out" >&2
    die "the installed service did not start"
}
echo "package-session: ${service_command[*]} running in $CLIENT_NETNS (PID $service_pid)"
grep -E ": (Application folder|Program) " "$service_out" | sed 's/^/package-session: /'

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    [ -x "$APP_DIR/devhost-seed" ] \
        || die "$APP_DIR/devhost-seed missing: build the checkout (scripts/build.sh build) for the scripted session"
    echo "package-session: no display, running the scripted session under Xvfb"
    status=0
    "$TOP/devhost/session.sh" ip netns exec "$CLIENT_NETNS" "$client" || status=$?
else
    echo "package-session: starting the installed client; the demo account is demo / demo-password"
    status=0
    ip netns exec "$CLIENT_NETNS" "$client" || status=$?
fi
echo "package-session: service log /var/log/$package/vpn-service.log; devhost/down.sh takes the host down"
exit "$status"
