# Sourced by devhost/launch.sh: runs vpn-service in the background, in the client's network
# namespace when there is one (CLIENT_NETNS, set by an earlier step). Safe to run again: a
# service already running from this build is kept; one left from an older build is replaced.
# Log: $BUILD_DIR/devhost/vpn-service.log (its standard error: vpn-service.out beside it).

svc_dir="${DEVHOST_DIR:-$BUILD_DIR/devhost}"
svc_pidfile="$svc_dir/vpn-service.pid"
svc_log="$svc_dir/vpn-service.log"
svc_out="$svc_dir/vpn-service.out"
svc_exe="$APP_DIR/vpn-service"
svc_prefix=()
if [ -n "${CLIENT_NETNS:-}" ]; then
    svc_prefix=(ip netns exec "$CLIENT_NETNS")
fi
mkdir -p "$svc_dir"

if [ ! -x "$svc_exe" ]; then
    echo "devhost: $svc_exe is missing; build the target vpn-service first" >&2
    return 1
fi

svc_running=""
if [ -f "$svc_pidfile" ]; then
    svc_pid="$(cat "$svc_pidfile")"
    svc_pid_exe="$(readlink "/proc/$svc_pid/exe" 2>/dev/null || true)"
    if [ "$svc_pid_exe" = "$(readlink -f "$svc_exe")" ]; then
        svc_running="$svc_pid"
        # A namespace made anew since then leaves the service where the client is not.
        if [ -n "${CLIENT_NETNS:-}" ] && [ "$(ip netns identify "$svc_pid" 2>/dev/null)" != "$CLIENT_NETNS" ]; then
            echo "devhost: vpn-service $svc_pid runs outside $CLIENT_NETNS, replacing it"
            kill "$svc_pid" 2>/dev/null || true
            for _ in $(seq 50); do [ -e "/proc/$svc_pid" ] || break; sleep 0.1; done
            svc_running=""
        fi
    elif [ "$svc_pid_exe" = "$(readlink -f "$svc_exe") (deleted)" ]; then
        echo "devhost: vpn-service $svc_pid runs an older build, replacing it"
        kill "$svc_pid" 2>/dev/null || true
        for _ in $(seq 50); do [ -e "/proc/$svc_pid" ] || break; sleep 0.1; done
    fi
fi

if [ -n "$svc_running" ]; then
    echo "devhost: vpn-service already running (PID $svc_running), log $svc_log"
else
    # setsid: the service outlives the launcher and its terminal.
    # Lockdown's state lives beside the log (the package's service keeps it in /var/lib/korvexvpn).
    "${svc_prefix[@]}" setsid "$svc_exe" --log-file "$svc_log" --state-dir "$svc_dir/state" \
        </dev/null >"$svc_out" 2>&1 &
    svc_pid=$!
    echo "$svc_pid" >"$svc_pidfile"
    for _ in $(seq 100); do
        grep -q "Listening on" "$svc_out" 2>/dev/null && break
        [ -e "/proc/$svc_pid" ] || break
        sleep 0.1
    done
    if ! grep -q "Listening on" "$svc_out" 2>/dev/null; then
        echo "devhost: vpn-service did not start:" >&2
        tail -n 20 "$svc_out" >&2 || true
        return 1
    fi
    echo "devhost: vpn-service running (PID $svc_pid${CLIENT_NETNS:+, namespace $CLIENT_NETNS}), log $svc_log"
fi
unset svc_dir svc_pidfile svc_log svc_out svc_exe svc_prefix svc_running svc_pid svc_pid_exe
