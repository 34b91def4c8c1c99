# shellcheck shell=bash
# Provider API stand-in: HTTPS on 203.0.113.10:443 with the demo deployment's certificate.
# It runs in the internet namespace (NET_NETNS, set by 10-netns.sh); without one, in the current
# namespace with the address on the loopback interface. Idempotent: a running stand-in is kept.
# Log: $BUILD_DIR/devhost/api.log.

API_ADDRESS=203.0.113.10
api_run=()
if [ -n "${NET_NETNS:-}" ]; then
    api_run=(ip netns exec "$NET_NETNS")
fi
api_dir="${DEVHOST_DIR:-$BUILD_DIR/devhost}"
api_pidfile="$api_dir/api.pid"
mkdir -p "$api_dir"

"${api_run[@]}" ip link set lo up
"${api_run[@]}" ip addr replace "$API_ADDRESS/32" dev lo

api_pid="$(cat "$api_pidfile" 2>/dev/null || true)"
if [ -n "$api_pid" ] && grep -qs "apiserver.py" "/proc/$api_pid/cmdline"; then
    echo "devhost: API stand-in already running (pid $api_pid)"
else
    api_python=python3
    [ -x /usr/bin/python3 ] && api_python=/usr/bin/python3
    setsid "${api_run[@]}" "$api_python" "$TOP/devhost/api/apiserver.py" --address "$API_ADDRESS" --port 443 \
        --cert "$TOP/devhost/api/server.pem" --key "$TOP/devhost/api/server.key" \
        >>"$api_dir/api.log" 2>&1 </dev/null &
    echo $! >"$api_pidfile"
    api_ready=no
    for _ in $(seq 50); do
        if "${api_run[@]}" bash -c "exec 3<>/dev/tcp/$API_ADDRESS/443" 2>/dev/null; then
            api_ready=yes
            break
        fi
        sleep 0.1
    done
    if [ "$api_ready" != yes ]; then
        echo "devhost: the API stand-in did not start, see $api_dir/api.log" >&2
        return 1
    fi
    echo "devhost: API stand-in on https://$API_ADDRESS (log $api_dir/api.log)"
fi
