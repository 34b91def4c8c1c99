# Seeds the stand-in registry (${XDG_DATA_HOME:-~/.local/share}/vpnclient-registry) with the
# adapters and network connections of the client's network namespace (CLIENT_NETNS, or the
# current one), as the client's registry door and the wmic stand-in read them.
# Sourced by devhost/launch.sh after the TUN interface exists; safe to run again.

if [ -n "${CLIENT_NETNS:-}" ]; then
    ip netns exec "$CLIENT_NETNS" python3 "$TOP/devhost/lib/seed_registry.py"
else
    python3 "$TOP/devhost/lib/seed_registry.py"
fi
