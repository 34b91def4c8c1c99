# shellcheck shell=bash
# The lab's rows, sourced by tests/lab/lab.sh once the container is up (run_rows of
# tests/support/testkit.sh): each fails when the package does not behave as a user would need.

# shellcheck source=devhost/lib/window.sh
source "$TOP/devhost/lib/window.sh"
# shellcheck source=devhost/lib/settings.sh
source "$TOP/devhost/lib/settings.sh"

user=alice
display=:7
tunnel_timeout=90
start_timeout=60
deb_name="$(basename "$deb")"
mkdir -p "$work/share"
cp "$deb" "$work/share/"

# The client of the lab's user as the host sees it (its PID here, its log file through the
# container's root), so that window.sh's log helpers work unchanged.
lab_client_pids() {
    local pid ours
    ours="$(readlink "/proc/$leader/ns/pid")"
    for pid in $(pgrep -x vpnclient); do
        [ "$(readlink "/proc/$pid/ns/pid")" = "$ours" ] && echo "$pid"
    done
}
# Waits for every client of the lab to end (a killed one, one closing); kills what is left after 10 s.
no_client_left() {
    within 10 eval '[ -z "$(lab_client_pids)" ]' && return
    lab_client_pids | xargs -r kill -KILL
    sleep 0.5
}
# window.sh's X commands, run inside the container on its display.
in_x() { in_lab env DISPLAY="$display" "$@"; }
xdo() { in_x xdotool "$@"; }
x_run() { in_x "$@"; }
closewindow=/labsrc/devhost/lib/closewindow.py

# The client as the user starts it from the desktop menu (the entry's Exec, in a new login), once it
# has reached the service and knows the server.
client_start() {
    local exec_line marker
    if [ -n "$client_pid" ] && kill -0 "$client_pid" 2>/dev/null; then
        close_client || fail "the client did not end when its window closed" || return
    fi
    # One instance per user: a client still ending would take the new start for its second.
    no_client_left
    # A client started within the second an earlier one started shares its log file, whose first
    # lines are then the earlier client's: a new second gives the new client a file of its own.
    sleep 1
    exec_line="$(sed -n 's/^Exec=//p' "$(lab_path /usr/share/applications/korvexvpn.desktop)" | sed 's/ %[A-Za-z]//g')"
    [ -n "$exec_line" ] || fail "no desktop entry" || return
    marker="$(lab_path "/home/$user/.start-marker")"
    touch "$marker"
    in_lab runuser -l "$user" -c "DISPLAY=$display setsid $exec_line >client.out 2>&1 </dev/null &"
    log_file=""
    client_pid=""
    for _ in $(seq $((start_timeout * 10))); do
        client_pid="$(lab_client_pids | head -n 1)"
        log_file="$(find "$(lab_path "/home/$user/.local/share/vpnclient/logs")" -maxdepth 1 -name '*-app.log' \
            -newer "$marker" 2>/dev/null | sort | tail -n 1)"
        [ -n "$log_file" ] && [ -n "$client_pid" ] && break
        sleep 0.1
    done
    [ -n "$log_file" ] || fail "the client wrote no log: $(cat "$(lab_path "/home/$user/client.out")")" || return
    wait_log 1 "$start_timeout" "vpn-service is running: true" || fail "the client did not reach vpn-service" || return
    find_window || fail "no client window" || return
    wait_log 1 "$start_timeout" "Set VPN server IP: " || fail "the client got no server list"
}

# systemd-resolved's whole configuration: every link's servers, domains and default route, and the
# global ones (which server answered last is left out: asking a name changes it).
# Blanks are squeezed: resolvectl aligns its columns to the longest label shown.
resolved_state() { in_lab resolvectl status --no-pager 2>&1 | grep -v 'Current DNS Server' | sed 's/^ *//; s/  */ /g'; }
resolved_as_before() { [ "$(resolved_state)" = "$resolved_before" ]; }
tunnel_links() { in_net ip -o link show type tun | awk -F': ' '{print $2}'; }
# Nothing of a tunnel: no TUN link, no lock, resolved as before the tunnel; given a few seconds.
host_is_clean() {
    within 5 eval '[ -z "$(tunnel_links)" ] && ! lock_engaged && resolved_as_before' && return
    [ -z "$(tunnel_links)" ] || fail "a tunnel link is left: $(tunnel_links | xargs)" || return
    ! lock_engaged || fail "the lock is still engaged" || return
    fail "resolved differs: $(diff <(echo "$resolved_before") <(resolved_state) | xargs)"
}
service_pid() { in_lab systemctl show -p MainPID --value vpn-service; }
lab_apt() { in_lab env DEBIAN_FRONTEND=noninteractive apt-get -y -q "$@" >"$work/apt.out" 2>&1 || { cat "$work/apt.out" && fail "apt-get $1 failed"; }; }

row_install() {
    lab_apt install "/lab/$deb_name" || return
    [ "$(in_lab systemctl is-enabled vpn-service)" = enabled ] || fail "the unit is not enabled" || return
    [ "$(in_lab systemctl is-active vpn-service)" = active ] || fail "the unit is not active" || return
    within 5 eval 'in_net ss -Hltn "sport = :6447" | grep -qF 127.0.0.1:6447' || fail "the service does not listen on 127.0.0.1:6447"
}

# A new user in the group, the client from the desktop entry: connect, the new address, the
# tunnel's servers on the tunnel's link only, disconnect, quit.
row_connect_as_user() {
    local seed="$work/share/seed" ip_before line links
    in_lab useradd -m -s /bin/bash "$user" || fail "no user" || return
    in_lab adduser -q "$user" korvexvpn || fail "cannot add the user to the group" || return
    mkdir -p "$seed"
    XDG_CONFIG_HOME="$seed" "$lab_build_dir/app/devhost-seed" demo demo-password >/dev/null || fail "no seed" || return
    # No reconnection of its own: the rows look at what the host holds right after a loss.
    settings_file="$seed/VPN/VPNClient.conf"
    set_settings autoReconnectToVpn=false
    in_lab runuser -u "$user" -- mkdir -p "/home/$user/.config/VPN"
    cp "$settings_file" "$(lab_path "/home/$user/.config/VPN/VPNClient.conf")"
    in_lab chown "$user:" "/home/$user/.config/VPN/VPNClient.conf"
    in_lab systemd-run -q --unit=lab-xvfb Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp
    within 5 test -S "$(lab_path /tmp/.X11-unix/X${display#:})"
    resolved_before="$(resolved_state)"

    client_start || return
    wait_log 1 "$start_timeout" "geoip' finished, IP: " || fail "no current IP" || return
    ip_before="$(current_ip_from 1)"
    line="$(next_log_line)"
    switch_on || return
    wait_log "$line" "$start_timeout" "geoip' finished, IP: 198.51.100." || fail "the current IP did not change" || return
    echo "lab: current IP $ip_before, connected $(current_ip_from "$line")"
    # OpenVPN's own output reached the user's log file in the home folder, through the sandbox.
    grep -q "Initialization Sequence Completed" "${log_file%-app.log}-vpn.log" \
        || fail "OpenVPN's log did not reach ${log_file%-app.log}-vpn.log" || return
    links="$(tunnel_links)"
    [ "$(echo "$links" | grep -c .)" -eq 1 ] || fail "not one tunnel link: $links" || return
    # The tunnel's servers and '~.' on its link, which is the default route for names.
    in_lab resolvectl dns "$links" | grep -q "10.8.0.1" || fail "no tunnel server on $links" || return
    in_lab resolvectl domain "$links" | grep -qF '~.' || fail "no '~.' on $links" || return
    in_lab resolvectl default-route "$links" | grep -q yes || fail "$links is not the default route" || return
    # Names asked now go to the tunnel's servers only: none reaches the uplink's resolver (the sink).
    sink_counts >/dev/null
    for host in a.example b.example c.example; do
        in_lab timeout 5 resolvectl query --cache=no "$host" >/dev/null 2>&1
    done
    counts="$(sink_counts)"
    ! grep -qE '=[1-9]' <<<"$counts" || fail "names were asked outside the tunnel's servers:$counts" || return
    # What the probe sends reaches the sink, through the tunnel: a silent sink proves nothing.
    measure "connected" && no_leak && tunnel_carried || return
    switch_off && host_is_clean && { close_client || fail "the client did not end when its window closed"; }
}

row_sandbox() {
    local pid status score
    pid="$(service_pid)"
    status="$(lab_path "/proc/$pid/status")"
    [ -n "$pid" ] && [ "$pid" != 0 ] || fail "no service" || return
    ! in_lab nsenter -t "$pid" -m touch /usr/lib/korvexvpn/written 2>/dev/null || fail "the service can write /usr" || return
    ! in_lab nsenter -t "$pid" -m touch /etc/written 2>/dev/null || fail "the service can write /etc" || return
    # Only what its unit grants: the network's administration and the user's rights for their files.
    grep -q '^CapBnd:	00000000000010c0$' "$status" || fail "the service holds more: $(grep CapBnd "$status")" || return
    # Without CAP_DAC_OVERRIDE or CAP_DAC_READ_SEARCH a user's private file is out of its reach (it
    # reads user files only with that user's own rights); root with every capability, the control.
    in_lab runuser -u "$user" -- sh -c 'umask 077; echo private >"$HOME/private"'
    in_lab cat "/home/$user/private" >/dev/null 2>&1 || fail "root cannot read the file: no control" || return
    ! in_lab nsenter -t "$pid" -m setpriv --bounding-set=-all,+net_admin,+setuid,+setgid --inh-caps=-all \
        cat "/home/$user/private" >/dev/null 2>&1 || fail "the service's rights read a user's private file" || return
    grep -q '^NoNewPrivs:	1$' "$status" || fail "the service may gain privileges" || return
    grep -q '^Seccomp:	2$' "$status" || fail "no system call filter" || return
    score="$(in_lab systemd-analyze security vpn-service --no-pager 2>&1 | sed -n 's/.*exposure level for vpn-service.service: \([0-9.]*\).*/\1/p')"
    echo "lab: exposure $score"
    awk -v s="$score" 'BEGIN { exit !(s != "" && s <= 4.0) }' || fail "exposure ${score:-unknown} above 4.0"
}

# Connected with the lock on, OpenVPN killed: nothing leaves beside the tunnel, the lock stays, and
# resolved is as before the tunnel.
row_lock_holds_openvpn_killed() {
    settings_file="$(lab_path "/home/$user/.config/VPN/VPNClient.conf")"
    set_settings killswitchEnabled=true
    client_start && switch_on || return
    held_through "OpenVPN killed" 3 in_lab pkill -KILL -x openvpn || return
    [ -z "$(tunnel_links)" ] || fail "the tunnel link stayed" || return
    resolved_as_before || fail "resolved differs after OpenVPN was killed" || return
    # The session's end (SIGTERM, as at logout) quits as the user's quit does, which lifts it; the
    # lock's notice is open meanwhile.
    kill -TERM "$client_pid"
    within 10 eval '! kill -0 "$client_pid"' || fail "the client did not quit on SIGTERM" || return
    client_pid=""
    host_is_clean
}

# A newer build installed over this one while connected with the lock on: the lock holds all the
# while, the service restarts (systemd's restart of the unit; the client's side of a restart is
# the leak test's), the client connects again, the user's settings and account stay.
upgrade() {
    local before line
    before="$(service_pid)"
    line="$(next_log_line)"
    lab_apt install /lab/newer.deb || return
    wait_log "$line" 30 "VPN connection is UP" || fail "the client did not connect again after the upgrade" || return
    [ "$(service_pid)" != "$before" ] || fail "the service was not restarted"
}
row_upgrade() {
    local unpacked="$work/newer" version
    rm -rf "$unpacked"
    dpkg-deb -R "$deb" "$unpacked"
    version="$(sed -n 's/^Version: //p' "$unpacked/DEBIAN/control")"
    sed -i "s/^Version: .*/Version: $version+lab1/" "$unpacked/DEBIAN/control"
    dpkg-deb -b "$unpacked" "$work/share/newer.deb" >/dev/null || fail "no newer package" || return
    set_settings autoReconnectToVpn=true
    client_start && switch_on || return
    grep -v '^\(password\|userName\)=' "$settings_file" >"$work/settings-before"
    held_through "upgrade" 3 upgrade || return
    [ "$(in_lab dpkg-query -W -f='${Version}' korvexvpn)" = "$version+lab1" ] || fail "not upgraded" || return
    # The account is enciphered afresh at each save; that the client connected again proves it kept.
    grep -q '^userName=..' "$settings_file" && grep -q '^password=..' "$settings_file" || fail "the account is gone" || return
    diff "$work/settings-before" <(grep -v '^\(password\|userName\)=' "$settings_file") || fail "the user's settings changed"
}

# apt remove while connected with the lock on: no lock, no resolver change, no tunnel is left.
row_remove_while_connected() {
    lock_engaged || fail "not connected with the lock on" || return
    lab_apt remove korvexvpn || return
    [ "$(in_lab systemctl is-active vpn-service)" != active ] || fail "the service still runs" || return
    host_is_clean || return
    kill -KILL "$client_pid" 2>/dev/null
    client_pid=""
}

row_purge() {
    local path
    lab_apt purge korvexvpn || return
    for path in /usr/lib/korvexvpn /usr/bin/vpnclient /lib/systemd/system/vpn-service.service /var/log/korvexvpn \
        /var/lib/korvexvpn; do
        [ ! -e "$(lab_path "$path")" ] || fail "$path is left after purge" || return
    done
    host_is_clean
}
