# shellcheck shell=bash
# The lab's machinery, sourced by tests/lab/lab.sh: the cached root, the development host it joins,
# the booted container and commands inside it. Uses TOP, work, name and cache of lab.sh; sets
# leader (the container's PID 1 as the host sees it) and nspawn_pid.

leader=""
nspawn_pid=""
mirror="$(sed -n 's/^URIs: *\(http[^ ]*\/debian\) *$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)"
mirror="${mirror:-http://deb.debian.org/debian}"
# The container's uplink, a /30 of the client's range that nothing else uses: the sink counts what
# comes from it as the client's, and the provider's API places it where the client is.
lab_net_address=192.0.2.249
lab_address=192.0.2.250
lab_net_address6=2001:db8:2::fc:1
lab_address6=2001:db8:2::fc:2

# in_lab COMMAND...: runs a command inside the booted container, with its exit code; the host's
# commands in its network namespace: in_net (tests/support/testkit.sh).
in_lab() { nsenter -t "$leader" -a "$@"; }
# A file of the container as the host sees it.
lab_path() { echo "/proc/$leader/root$1"; }

# lab_packages DEB: what the root holds, one per line, sorted: the base of a booted Debian with
# systemd-resolved and the lock's nftables, the package's dependencies (the first of each choice),
# and what the lab drives the window with.
lab_packages() {
    {
        printf '%s\n' systemd systemd-sysv systemd-resolved dbus iproute2 nftables procps \
            xvfb xdotool libgl1-mesa-dri python3
        dpkg-deb -f "$1" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*//; s/[[:space:]]//g'
    } | grep -v '^$' | sort -u
}

# lab_root DEB: prints the cached root for this list of packages, making it when missing.
lab_root() {
    local packages key root tmp
    packages="$(lab_packages "$1")"
    key="$(printf '%s\n%s\n' "$mirror" "$packages" | sha256sum | cut -c1-16)"
    root="$cache/root-$key"
    mkdir -p "$cache"
    exec 9>"$cache/lock"
    flock 9
    if [ ! -f "$root/.complete" ]; then
        echo "lab: making the root in $root (debootstrap from $mirror)" >&2
        rm -rf "$cache"/root-* "$cache"/making-*
        tmp="$cache/making-$$"
        if ! debootstrap --variant=minbase --include=systemd,systemd-sysv,dbus,iproute2 bookworm "$tmp" "$mirror" \
            >"$work/debootstrap.log" 2>&1; then
            tail -n 20 "$work/debootstrap.log" >&2
            rm -rf "$tmp"
            return 1
        fi
        # The archive as the host has it, updates and security included, so that the package's
        # dependencies (built against the host's libraries) are met.
        rm -f "$tmp/etc/apt/sources.list"
        grep -l 'debian' /etc/apt/sources.list.d/*.sources 2>/dev/null | xargs -r cp -t "$tmp/etc/apt/sources.list.d/"
        [ -f /etc/apt/sources.list ] && grep -v '^#' /etc/apt/sources.list | grep -q . && cp /etc/apt/sources.list "$tmp/etc/apt/"
        printf '#!/bin/sh\nexit 101\n' >"$tmp/usr/sbin/policy-rc.d"
        chmod 755 "$tmp/usr/sbin/policy-rc.d"
        # shellcheck disable=SC2086 # one package a word
        if ! chroot "$tmp" apt-get update -qq >>"$work/debootstrap.log" 2>&1 \
            || ! chroot "$tmp" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
                $packages >>"$work/debootstrap.log" 2>&1; then
            tail -n 20 "$work/debootstrap.log" >&2
            rm -rf "$tmp"
            return 1
        fi
        chroot "$tmp" apt-get clean
        rm -rf "$tmp"/var/lib/apt/lists/* "$tmp/usr/sbin/policy-rc.d"
        # A machine's own identity, and a root that signs in on the console without a password
        # is never asked for: the lab only enters with nsenter.
        : >"$tmp/etc/machine-id"
        echo "$packages" >"$tmp/.complete"
        mv "$tmp" "$root"
    fi
    flock -u 9
    echo "$root"
}

# lab_boot ROOT: boots the root on an overlay, in cgroup folders of its own (two containers never
# share one), and joins it to the development host with a veth of its own.
lab_boot() {
    local root="$1" hierarchy state
    for hierarchy in systemd unified; do
        [ -d "/sys/fs/cgroup/$hierarchy" ] && mkdir -p "/sys/fs/cgroup/$hierarchy/$name"
    done
    # Device and address rules are enforced inside only with the unified hierarchy and BPF.
    (
        for hierarchy in systemd unified; do
            [ -d "/sys/fs/cgroup/$hierarchy/$name" ] && echo "$BASHPID" >"/sys/fs/cgroup/$hierarchy/$name/cgroup.procs"
        done
        exec env SYSTEMD_NSPAWN_UNIFIED_HIERARCHY=1 systemd-nspawn -D "$root" --volatile=overlay --register=no \
            --keep-unit --boot --console=passive --private-network --machine="$name" --bind=/dev/net/tun \
            --bind-ro="$work/share:/lab" --bind-ro="$TOP:/labsrc" --capability=CAP_BPF,CAP_PERFMON --system-call-filter='bpf perf_event_open'
    ) </dev/null >"$work/nspawn.out" 2>&1 &
    nspawn_pid=$!
    for _ in $(seq 100); do
        leader="$(cat "/proc/$nspawn_pid/task/$nspawn_pid/children" 2>/dev/null | awk '{print $1}')"
        [ -n "$leader" ] && [ "$(cat "/proc/$leader/comm" 2>/dev/null)" = systemd ] && break
        leader=""
        sleep 0.1
    done
    [ -n "$leader" ] || { cat "$work/nspawn.out" && echo "FAIL: the container did not start systemd" && return 1; }
    net=(nsenter -t "$leader" -n)
    # The system's bus comes a moment after PID 1; until then systemctl cannot ask.
    within 60 eval '[[ $(in_lab systemctl is-system-running 2>&1) =~ ^(running|degraded|maintenance|stopping)$ ]]'
    state="$(in_lab systemctl is-system-running 2>&1)"
    [[ $state =~ ^(running|degraded)$ ]] || { cat "$work/nspawn.out" && echo "FAIL: the container did not come up: $state" && return 1; }
    [ "$state" = running ] || in_lab systemctl --failed --no-legend
    # Debian's udev rule makes TUN usable by everyone; no udev runs in the container.
    in_lab chmod 0666 /dev/net/tun
    # The uplink: created in the two namespaces, never in the machine's own.
    ip link add "lab$$" netns "$NET_NETNS" type veth peer name uplink0 netns "$leader" || return 1
    ip -n "$NET_NETNS" addr add "$lab_net_address/30" dev "lab$$"
    ip -n "$NET_NETNS" addr add "$lab_net_address6/126" dev "lab$$" nodad
    ip -n "$NET_NETNS" link set "lab$$" up
    in_lab ip addr add "$lab_address/30" dev uplink0
    in_lab ip addr add "$lab_address6/126" dev uplink0 nodad
    in_lab ip link set uplink0 up
    in_lab ip route add default via "$lab_net_address"
    in_lab ip -6 route add default via "$lab_net_address6"
    # As the network's configuration would give it: a resolver on the uplink; it is the sink, so
    # every name asked there is counted.
    in_lab resolvectl dns uplink0 203.0.113.99 2001:db8:99::99
}

lab_teardown() {
    if [ -n "$leader" ] && [ -e "/proc/$leader" ]; then
        in_lab systemctl poweroff >/dev/null 2>&1 || kill -TERM "$nspawn_pid" 2>/dev/null
    fi
    if [ -n "$nspawn_pid" ]; then
        within 15 eval '! kill -0 "$nspawn_pid"' || kill -KILL "$nspawn_pid" 2>/dev/null
        wait "$nspawn_pid" 2>/dev/null
    fi
    # nspawn and the container's systemd made folders inside; the deepest go first.
    for hierarchy in systemd unified; do
        [ -d "/sys/fs/cgroup/$hierarchy/$name" ] \
            && find "/sys/fs/cgroup/$hierarchy/$name" -depth -type d -exec rmdir {} + 2>/dev/null
    done
    VPNC_NS_PREFIX="$VPNC_NS_PREFIX" "$TOP/devhost/down.sh" >/dev/null 2>&1
    rm -rf "$work"
}

lab_diagnose() {
    [ -n "$leader" ] && [ -e "/proc/$leader" ] || return 0
    echo "--- the service's journal"
    in_lab journalctl -u vpn-service --no-pager -n 40 2>&1
    local log
    log="$(ls "$(lab_path /home/alice/.local/share/vpnclient/logs)"/*-app.log 2>/dev/null | tail -n 1)"
    [ -n "$log" ] && { echo "--- the client's log"; tail -n 30 "$log"; }
}

