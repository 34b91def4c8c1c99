#!/usr/bin/env bash
# Two builds of one commit give the same package, byte for byte: the package folder's build of the
# checkout and a build of a fresh clone of its commit elsewhere (another source and build path).
#   reproducible-test.sh PACKAGE_BUILD_DIR
# Exits 77 (skipped) when the checkout has uncommitted changes: then it is not one commit's build.
set -uo pipefail
TOP="$(cd "$(dirname "$0")/../.." && pwd)"
package_dir="$1"
if [ -n "$(git -C "$TOP" status --porcelain --untracked-files=no 2>/dev/null)" ] \
    || ! git -C "$TOP" rev-parse HEAD >/dev/null 2>&1; then
    echo "SKIP: the checkout is not a clean commit (git status shows changes)"
    exit 77
fi
work="$(mktemp -d /tmp/vpnrepro-XXXXXX)"
trap 'rm -rf "$work"' EXIT

first="$("$TOP/scripts/build-package.sh" "$package_dir" 2>"$work/first.log" | tail -n 1)"
[ -f "$first" ] || { tail -n 40 "$work/first.log"; echo "FAIL: no package built"; exit 1; }
git clone -q --no-local "$TOP" "$work/src" && git -C "$work/src" checkout -q "$(git -C "$TOP" rev-parse HEAD)"
second="$("$work/src/scripts/build-package.sh" "$work/build" 2>"$work/second.log" | tail -n 1)"
[ -f "$second" ] || { tail -n 40 "$work/second.log"; echo "FAIL: no package built from the clone"; exit 1; }
echo "first:  $first"
echo "second: $second"
if ! cmp "$first" "$second"; then
    if command -v diffoscope >/dev/null 2>&1; then
        timeout 600 diffoscope "$first" "$second" 2>&1 | head -n 80
    fi
    echo "FAIL: two builds of $(git -C "$TOP" rev-parse --short HEAD) differ"
    exit 1
fi
echo "the two packages are identical"
