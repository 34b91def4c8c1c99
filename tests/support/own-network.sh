#!/bin/sh
# Runs a test in a network namespace of its own where it can (as root), so the fixed ports it listens
# on (the service's, OpenVPN's management) are its own: test runs of other checkouts on the same
# machine cannot take them. Without root it runs as it is, and the tests' resource locks keep one
# run's tests apart.
if [ "$(id -u)" = 0 ] && unshare --net true 2>/dev/null; then
    exec unshare --net -- sh -c 'ip link set lo up && exec "$@"' own-network "$@"
fi
exec "$@"
