# shellcheck shell=bash
# Sourced by the shell tests: check WHAT COMMAND... runs COMMAND, prints "ok: WHAT" or "FAIL: WHAT"
# and counts the failures in $failures.
failures=0
check() {
    local what="$1"
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}
