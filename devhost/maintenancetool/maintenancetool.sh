#!/bin/sh
# Stand-in for the installer's maintenance tool (placed beside the client as maintenancetool.exe).
#
# "--checkupdates" answers the way the installer's tool does; what it answers is chosen by the
# first word of maintenancetool-answer.txt beside it (no file means "none"):
#   none              the "no updates" message
#   update V [V ...]  an update list with one version="V" attribute per version
#   raw               the rest of the file, printed as it stands
#   hang              never answers
#   crash             dies from a signal without answering
# "--updater" appends a line to maintenancetool-updater.log beside it and exits.
dir="$(cd "$(dirname "$0")" && pwd)"
answer_file="$dir/maintenancetool-answer.txt"
updater_log="$dir/maintenancetool-updater.log"

case "${1:-}" in
--checkupdates)
    set -- none
    if [ -r "$answer_file" ]; then
        set -f
        # shellcheck disable=SC2046
        set -- $(head -n 1 "$answer_file")
        set +f
    fi
    mode="${1:-none}"
    [ $# -gt 0 ] && shift
    case "$mode" in
    update)
        echo "<updates>"
        for version in "$@"; do
            echo "    <update name=\"korvex\" version=\"$version\" size=\"4194304\"/>"
        done
        echo "</updates>"
        ;;
    raw)
        tail -n +2 "$answer_file"
        ;;
    hang)
        exec sleep 86400
        ;;
    crash)
        kill -SEGV $$
        ;;
    *)
        echo "[0] Warning: There are currently no updates available."
        ;;
    esac
    exit 0
    ;;
--updater)
    echo "$(date -u '+%Y-%m-%dT%H:%M:%SZ') started pid $$ with: $*" >>"$updater_log"
    exit 0
    ;;
*)
    echo "usage: maintenancetool.exe --checkupdates | --updater" >&2
    exit 2
    ;;
esac
