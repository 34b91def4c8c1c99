# Sourced by devhost/launch.sh: the group whose members (and root) may command vpn-service, as
# the installation creates it. A user who runs the client without root joins it with
#   usermod -aG korvexvpn USER
# (then signs in again). The client of the development host runs as root and needs nothing more.
if ! getent group korvexvpn >/dev/null; then
    groupadd --system korvexvpn
    echo "devhost: created the group korvexvpn"
fi
