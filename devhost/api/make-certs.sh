#!/usr/bin/env bash
# Regenerates the demo API certificates and the test certificates. They are committed, so this
# runs only when they must change (for example before they expire):
#   devhost/api/make-certs.sh
# DEMO AND TEST KEYS ONLY: they are published with the source and protect nothing.
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
days=7300
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# make_ca KEY CERT NAME
make_ca() {
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days "$days" \
        -keyout "$1" -out "$2" -subj "/O=VPN Client demo/CN=$3" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}

# make_server CA_KEY CA_CERT KEY CERT COMMON_NAME SUBJECT_ALT_NAMES
make_server() {
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes \
        -keyout "$3" -out "$work/req.csr" -subj "/O=VPN Client demo/CN=$5" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\nsubjectAltName=%s\n' \
        "$6" >"$work/ext.cnf"
    openssl x509 -req -in "$work/req.csr" -CA "$2" -CAkey "$1" -set_serial "0x$(openssl rand -hex 8)" -days "$days" \
        -extfile "$work/ext.cnf" -out "$4" 2>/dev/null
}

# The demo deployment's API CA and the stand-in's certificate for 203.0.113.10.
demo="$top/deployment/demo"
make_ca "$demo/api-ca.key" "$demo/api-ca.pem" "VPN Client demo API CA"
make_server "$demo/api-ca.key" "$demo/api-ca.pem" "$top/devhost/api/server.key" "$top/devhost/api/server.pem" \
    "203.0.113.10" "IP:203.0.113.10"

# Tests: a CA with a loopback server certificate, and a certificate from an unrelated CA.
data="$top/tests/data/servers"
mkdir -p "$data"
make_ca "$work/test-ca.key" "$data/test-ca.pem" "VPN Client test API CA"
make_server "$work/test-ca.key" "$data/test-ca.pem" "$data/test-server.key" "$data/test-server.pem" \
    "127.0.0.1" "IP:127.0.0.1,DNS:localhost"
make_ca "$work/other-ca.key" "$work/other-ca.pem" "VPN Client unrelated test CA"
make_server "$work/other-ca.key" "$work/other-ca.pem" "$data/other-server.key" "$data/other-server.pem" \
    "127.0.0.1" "IP:127.0.0.1,DNS:localhost"
chmod 644 "$demo/api-ca.key" "$top/devhost/api/server.key" "$data/test-server.key" "$data/other-server.key"
