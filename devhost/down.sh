#!/usr/bin/env bash
# Takes the development host down: ends what runs in its network namespaces (vpn-service, the
# OpenVPN servers, the API stand-in, a client left running) and removes the namespaces with their
# interfaces. Nothing outside the namespaces is touched. Safe to run when the host is not up.
#   devhost/down.sh            the launcher's namespaces (vpnc-*)
#   VPNC_NS_PREFIX=x down.sh   a namespace set made with another prefix
set -euo pipefail
prefix="${VPNC_NS_PREFIX:-vpnc}"
namespaces=("$prefix-client" "$prefix-server" "$prefix-server2" "$prefix-server3" "$prefix-net" "$prefix-lan")

end_processes() {
    local signal="$1" ns pid
    for ns in "${namespaces[@]}"; do
        [ -e "/run/netns/$ns" ] || continue
        # Only processes of the development host live in its namespaces.
        for pid in $(ip netns pids "$ns"); do
            kill "-$signal" "$pid" 2>/dev/null || true
        done
    done
}

remaining() {
    local ns
    for ns in "${namespaces[@]}"; do
        [ -e "/run/netns/$ns" ] && ip netns pids "$ns"
    done
    return 0
}

end_processes TERM
for _ in $(seq 50); do
    [ -z "$(remaining)" ] && break
    sleep 0.1
done
end_processes KILL

for ns in "${namespaces[@]}"; do
    if [ -e "/run/netns/$ns" ]; then
        ip netns del "$ns"
        echo "devhost: removed namespace $ns"
    fi
done
