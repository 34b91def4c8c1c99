# Demo deployment: matches the development host (devhost/). Its keys are DEMO KEYS,
# published with the source; never ship a client built with them.
set(VPN_DEPLOY_API_HOST "203.0.113.10")
set(VPN_DEPLOY_API_CA_FILE "api-ca.pem")
set(VPN_DEPLOY_CIPHER_KEY "0x5A17C0DE9E3779B9")
set(VPN_DEPLOY_OVPN_CA_FILE "openvpn-ca.crt")
set(VPN_DEPLOY_OVPN_TLS_CRYPT_FILE "openvpn-tls-crypt.key")
# The development host's OpenVPN server uses openvpn-server.{crt,key}, issued by openvpn-ca.key
# (EC P-256, "TLS Web Server Authentication"); all of them are demo keys.
