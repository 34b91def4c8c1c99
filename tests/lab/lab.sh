#!/usr/bin/env bash
# The package on a freshly installed machine: a Debian 12 root made with debootstrap, booted with
# systemd as PID 1 by systemd-nspawn and joined to a development host of its own, where the package
# is installed as a user would and used through its real window, its real unit and systemd-resolved.
#   lab.sh BUILD_DIR PACKAGE_BUILD_DIR [ROW...]   (default: every row, in the order of ROWS)
# BUILD_DIR is a build of the checkout (its devhost-seed stores the demo account for the lab's user).
# Needs root, debootstrap, systemd-nspawn and a kernel that boots containers; without them it says
# why and exits 77 (skipped). Prints every row's result and time.
#
# The root is cached in $VPN_LAB_CACHE (default /var/cache/korvexvpn-lab), one folder per list of
# packages (the package's own dependencies and the lab's tools); a changed list makes a new one and
# the old ones are removed. The container runs on an overlay (--volatile=overlay): the cache stays
# as it was made. Every row starts from what the previous one left.
set -uo pipefail
TOP="$(cd "$(dirname "$0")/../.." && pwd)"
lab_build_dir="$(cd "${1:?usage: lab.sh BUILD_DIR PACKAGE_BUILD_DIR [ROW...]}" && pwd)"
package_dir="${2:?usage: lab.sh BUILD_DIR PACKAGE_BUILD_DIR [ROW...]}"
shift 2
ROWS=(install connect_as_user sandbox lock_holds_openvpn_killed upgrade remove_while_connected purge)
[ $# -gt 0 ] && ROWS=("$@")

# shellcheck source=tests/support/testkit.sh
source "$TOP/tests/support/testkit.sh"
require root tun debootstrap systemd-nspawn nft openvpn
[ -d /sys/fs/cgroup/unified ] || [ -f /sys/fs/cgroup/cgroup.controllers ] \
    || { echo "SKIP: no cgroup hierarchy that systemd can boot in" && exit 77; }

cache="${VPN_LAB_CACHE:-/var/cache/korvexvpn-lab}"
work="$(mktemp -d /tmp/vpnlab-XXXXXX)"
name="vpnlab$$"
export TOP BUILD_DIR="$work/build" APP_DIR="$work/build/app" DEVHOST_DIR="$work/devhost"
export VPNC_NS_PREFIX="$name" VPNC_RUN_DIR="$work/run"
mkdir -p "$DEVHOST_DIR" "$work/share"

# shellcheck source=tests/lab/labsupport.sh
source "$TOP/tests/lab/labsupport.sh"
trap lab_teardown EXIT
trap 'exit 130' INT TERM

started=$SECONDS
deb="$(package_of "$TOP" "$package_dir")" || { echo "$deb" && exit 1; }
echo "lab: package $deb ($((SECONDS - started)) s)"

started=$SECONDS
root="$(lab_root "$deb")" || { echo "FAIL: no root for the lab"; exit 1; }
echo "lab: root $root ($((SECONDS - started)) s)"

started=$SECONDS
# The development host's internet, VPN servers and API stand-in, with namespaces of this run's own.
devhost_up 10-netns 40-api 50-vpnserver || exit 1
lab_boot "$root" || exit 1
echo "lab: booted ($((SECONDS - started)) s), leader $leader"

# shellcheck source=tests/lab/labrows.sh
source "$TOP/tests/lab/labrows.sh"
run_rows lab_diagnose "${ROWS[@]}"
