#!/usr/bin/env bash
# Cross-builds the Windows toolkit (OpenSSL, then Qt 5.15 with only the modules the client uses) for
# x86_64-w64-mingw32 with posix threads, from Debian's own source packages, into a cache folder keyed
# by the recipe (toolkit-recipe.sh: the pinned source versions and every build step). Run once per
# machine; it takes hours on two cores, so run it niced: nice -n 19 scripts/windows/toolkit.sh
#   scripts/windows/toolkit.sh            build (or resume) the toolkit, print its folder
#   scripts/windows/toolkit.sh --dir      print the folder of the current recipe (exit 1 if not complete)
# The build folder lives inside the cache folder, so an interrupted run resumes where it stopped; the
# folder counts as complete only once its stamp file `complete` exists. The log, each stage's time and
# the sizes are kept beside it (toolkit.log, duration-seconds, size). A module whose source Debian's
# mirror does not serve is left out and named, with the reason, in the file `missing` (the Windows
# build then builds what does not need it and says what it left out); a later run tries it again.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cache_root="${KORVEXVPN_WIN_CACHE:-/var/cache/korvexvpn-win}"
recipe="$here/toolkit-recipe.sh"
triplet=x86_64-w64-mingw32
jobs="${TOOLKIT_JOBS:-$(nproc)}"
# shellcheck source=toolkit-recipe.sh
source "$recipe"

dir="$cache_root/toolkit-$(sha256sum < "$recipe" | cut -c1-16)"
if [ "${1:-}" = "--dir" ]; then
    echo "$dir"
    [ -f "$dir/complete" ]
    exit
fi
if [ -f "$dir/complete" ] && [ ! -s "$dir/missing" ]; then
    echo "$dir"
    exit 0
fi

ensure_sources_entry() {
    # apt-get source needs a deb-src entry for the installed suite.
    local versions
    versions="$(apt-cache showsrc qtbase-opensource-src 2>/dev/null || true)"
    if grep -q '^Version:' <<< "$versions"; then return; fi
    echo "toolkit: adding a deb-src entry for bookworm" >&2
    local SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO tee /etc/apt/sources.list.d/korvexvpn-src.sources > /dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    $SUDO apt-get update -qq
}

"$here/../install-deps.sh"
ensure_sources_entry
mkdir -p "$dir/src" "$dir/build" "$dir/cross"
printf '%s\n' "${sources[@]}" > "$dir/versions"
log="$dir/toolkit.log"
echo "toolkit: building into $dir (log: $log)" >&2
start=$(date +%s)
[ -f "$dir/started" ] || echo "$start" > "$dir/started"
exec 3>&1 >> "$log" 2>&1
echo "=== $(date -u) start, $jobs jobs, load $(cut -d' ' -f1-3 /proc/loadavg)"

# The cross compilers with posix threads under their plain names, whatever the system's alternatives say.
for tool in gcc g++; do ln -sf "/usr/bin/$triplet-$tool-posix" "$dir/cross/$triplet-$tool"; done
for tool in ar ranlib windres strip objcopy objdump nm ld dlltool; do
    ln -sf "/usr/bin/$triplet-$tool" "$dir/cross/$triplet-$tool"
done
export PATH="$dir/cross:$PATH"
cross="$dir/cross/$triplet-"

fetch() {
    # Unpacks one source package (with Debian's patches applied) into src/, once; prints its folder.
    local pkg="$1" version
    version="$(awk -v p="$pkg" '$1 == p {print $2}' "$dir/versions")"
    if [ ! -f "$dir/src/$pkg.fetched" ]; then
        (cd "$dir/src" && apt-get source -q "$pkg=$version") >&2 || return 1
        touch "$dir/src/$pkg.fetched"
    fi
    find "$dir/src" -maxdepth 1 -type d -name "$pkg-*" | head -1
}

stage() {
    # Runs a stage unless its stamp says it is installed already.
    local name="$1" optional=no
    shift
    if [ "$name" = "--optional" ]; then
        optional=yes
        name="$1"
        shift
    fi
    if [ -f "$dir/build/$name.installed" ]; then return; fi
    echo "=== $(date -u) $name, load $(cut -d' ' -f1-3 /proc/loadavg)"
    local t0
    t0=$(date +%s)
    if [ "$optional" = yes ]; then
        # (Not in an if: errexit would be off inside the subshell there.)
        local status
        set +e
        (set -e && "$@")
        status=$?
        set -e
        if [ "$status" -ne 0 ]; then
            echo "$name: not built: its source is not to be had from Debian's mirror (see the log)" >> "$dir/missing"
            echo "=== $(date -u) $name left out"
            return 0
        fi
    else
        "$@"
    fi
    touch "$dir/build/$name.installed"
    echo "=== $(date -u) $name done in $(($(date +%s) - t0)) s, load $(cut -d' ' -f1-3 /proc/loadavg)"
}

rm -f "$dir/missing"
recipe_stages

end=$(date +%s)
echo "$((end - $(cat "$dir/started")))" > "$dir/duration-seconds"
du -sh "$dir/qt" "$dir/openssl" "$dir/." > "$dir/size"
touch "$dir/complete"
echo "=== $(date -u) complete, $((end - $(cat "$dir/started"))) s since the first start"
echo "$dir" >&3
