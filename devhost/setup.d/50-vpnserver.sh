# shellcheck shell=bash
# The provider's VPN server: Debian's OpenVPN 2.6 in server mode inside SERVER_NETNS (10-netns.sh),
# one instance on UDP 88 and one on TCP 8080, with the demo deployment's CA, server certificate
# and tls-crypt key. User name and password are checked by a script; the demo account is
#     user "demo", password "demo-password"   (VPNC_DEMO_USER / VPNC_DEMO_PASSWORD override them)
# Each instance pushes redirect-gateway for both families (so that nothing of either family leaves
# the client beside the tunnel) and one IPv4 and one IPv6 "dhcp-option DNS" (its own tunnel
# addresses), and has pools of its own in 10.8.0.0/16 and fd00:8::/48; tunnel traffic of both
# families leaves the uplink masqueraded. Runtime files (configurations, logs, pid files) live in
# VPNC_RUN_DIR.
# Idempotent: a running instance is left alone.

VPNC_RUN_DIR="${VPNC_RUN_DIR:-/run/$VPNC_NS_PREFIX}"
VPNC_DEMO_USER="${VPNC_DEMO_USER:-demo}"
VPNC_DEMO_PASSWORD="${VPNC_DEMO_PASSWORD:-demo-password}"
export VPNC_RUN_DIR VPNC_DEMO_USER VPNC_DEMO_PASSWORD
vpnc_pki="$TOP/deployment/demo"
mkdir -p "$VPNC_RUN_DIR"

# The check script reads OpenVPN's via-file credentials: the user name line, then the password line.
cat >"$VPNC_RUN_DIR/check-user.sh" <<CHECK
#!/bin/sh
{ IFS= read -r user; IFS= read -r pass; } < "\$1" || exit 1
[ "\$user" = '$VPNC_DEMO_USER' ] && [ "\$pass" = '$VPNC_DEMO_PASSWORD' ]
CHECK
chmod 700 "$VPNC_RUN_DIR/check-user.sh"

# vpnc_server_netns NS: forwarding and the tunnel's masquerade out of the uplink in a server's namespace.
vpnc_server_netns() {
    ip netns exec "$1" sysctl -qw net.ipv4.ip_forward=1
    ip netns exec "$1" sysctl -qw net.ipv6.conf.all.forwarding=1
    if command -v nft >/dev/null 2>&1; then
        ip netns exec "$1" nft -f - <<'NFT'
table inet vpnc_nat
delete table inet vpnc_nat
table inet vpnc_nat {
    chain postrouting {
        type nat hook postrouting priority srcnat; policy accept;
        ip saddr 10.8.0.0/16 oifname "vs-uplink" masquerade
        ip6 saddr fd00:8::/48 oifname "vs-uplink" masquerade
    }
}
NFT
    fi
}

# vpnc_start_vpnserver NAME PROTO PORT IPV4_NET [IPV6_NET] (IPV4_NET is a /24 "10.8.N.0", IPV6_NET a /64
# prefix; without it the tunnel carries IPv4 only and nothing of IPv6 is pushed, as many providers do).
# In the namespace VPNS_NETNS at VPNS_ADDRESS (default: the main server's).
vpnc_start_vpnserver() {
    local name="$1" proto="$2" port="$3" net4="$4" net6="${5:-}" ipv6=""
    local netns="${VPNS_NETNS:-$SERVER_NETNS}" address="${VPNS_ADDRESS:-198.51.100.1}"
    [ -z "$net6" ] || ipv6="server-ipv6 $net6/64
push \"redirect-gateway ipv6\"
push \"dhcp-option DNS ${net6}1\""
    local conf="$VPNC_RUN_DIR/$name.conf" pidfile="$VPNC_RUN_DIR/$name.pid" log="$VPNC_RUN_DIR/$name.log"
    if [ -s "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; then
        return 0
    fi
    cat >"$conf" <<CONF
mode server
tls-server
dev $name
dev-type tun
proto $proto
local $address
port $port
topology subnet
server $net4 255.255.255.0
$ipv6
ca $vpnc_pki/openvpn-ca.crt
cert $vpnc_pki/openvpn-server.crt
key $vpnc_pki/openvpn-server.key
tls-crypt $vpnc_pki/openvpn-tls-crypt.key
dh none
auth SHA256
data-ciphers AES-256-GCM
allow-compression yes
compress lz4-v2
verify-client-cert none
username-as-common-name
duplicate-cn
script-security 2
auth-user-pass-verify $VPNC_RUN_DIR/check-user.sh via-file
keepalive 10 60
push "redirect-gateway def1"
push "dhcp-option DNS ${net4%.0}.1"
verb 3
CONF
    rm -f "$pidfile"
    : >"$log"
    ip netns exec "$netns" openvpn --config "$conf" --daemon "vpnc-$name" --writepid "$pidfile" --log "$log"
    local waited=0
    until grep -q "Initialization Sequence Completed" "$log"; do
        if [ "$waited" -ge 100 ]; then
            echo "devhost: VPN server $name did not come up, see $log" >&2
            return 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
}

vpnc_server_netns "$SERVER_NETNS"
vpnc_start_vpnserver vpns-udp udp 88 10.8.0.0 fd00:8::
vpnc_start_vpnserver vpns-tcp tcp-server 8080 10.8.1.0 fd00:8:1::
# The far servers (10-netns.sh), IPv4 only.
for i in "${!FAR_SERVERS[@]}"; do
    VPNS_NETNS="${FAR_SERVERS[$i]%=*}"
    VPNS_ADDRESS="${FAR_SERVERS[$i]#*=}"
    vpnc_server_netns "$VPNS_NETNS"
    vpnc_start_vpnserver "vpns$((i + 2))-udp" udp 88 "10.8.$((2 * i + 2)).0"
    vpnc_start_vpnserver "vpns$((i + 2))-tcp" tcp-server 8080 "10.8.$((2 * i + 3)).0"
done
unset VPNS_NETNS VPNS_ADDRESS
echo "devhost: VPN servers on 198.51.100.1, .4 and .5 (UDP 88, TCP 8080), demo account '$VPNC_DEMO_USER'; logs in $VPNC_RUN_DIR"
