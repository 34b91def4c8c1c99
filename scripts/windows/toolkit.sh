#!/usr/bin/env bash
# Cross-builds the Windows toolkit (OpenSSL, then Qt 5.15 with only the modules the client uses) for
# x86_64-w64-mingw32 with posix threads, from Debian's own source packages, into a cache folder keyed
# by this recipe (this script and the source versions). Run once per machine; it takes long.
#   scripts/windows/toolkit.sh            build (or resume) the toolkit, print its folder
#   scripts/windows/toolkit.sh --dir      print the folder the current recipe uses (exit 1 if not complete)
# The build folder lives inside the cache folder, so an interrupted run resumes where it stopped; the
# folder counts as complete only once its stamp file `complete` exists.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cache_root="${KORVEXVPN_WIN_CACHE:-/var/cache/korvexvpn-win}"
triplet=x86_64-w64-mingw32
jobs="${TOOLKIT_JOBS:-$(nproc)}"

# The recipe's sources: Debian bookworm's source packages at pinned versions, in build order. A version
# the mirror no longer carries makes the fetch fail plainly; bump it here (that makes a new toolkit).
sources=(
    "openssl 3.0.20-1~deb12u2"
    "qtbase-opensource-src 5.15.8+dfsg-11+deb12u3"
    "qtsvg-opensource-src 5.15.8-3"
    "qtdeclarative-opensource-src 5.15.8+dfsg-3"
    "qtquickcontrols2-opensource-src 5.15.8+dfsg-2"
    "qtwebsockets-opensource-src 5.15.8-2"
)

ensure_sources_entry() {
    # apt-get source needs a deb-src entry for the installed suite.
    if apt-cache showsrc qtbase-opensource-src 2>/dev/null | grep -q '^Version:'; then return; fi
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

key_of() {
    # The script holds the whole recipe, the versions included.
    sha256sum < "$0" | cut -c1-16
}

if [ "${1:-}" = "--dir" ]; then
    dir="$cache_root/toolkit-$(key_of)"
    echo "$dir"
    [ -f "$dir/complete" ]
    exit
fi

"$here/../install-deps.sh"
ensure_sources_entry
key="$(key_of)"
dir="$cache_root/toolkit-$key"
if [ -f "$dir/complete" ]; then
    echo "$dir"
    exit 0
fi
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
    # Unpacks one source package (with Debian's patches applied) into src/, once.
    local pkg="$1" version
    version="$(awk -v p="$pkg" '$1 == p {print $2}' "$dir/versions")"
    if [ ! -f "$dir/src/$pkg.fetched" ]; then
        (cd "$dir/src" && apt-get source -q "$pkg=$version") >&2
        touch "$dir/src/$pkg.fetched"
    fi
    find "$dir/src" -maxdepth 1 -type d -name "$pkg-*" | head -1
}

stage() {
    # Runs a stage unless its stamp says it is installed already.
    local name="$1"
    shift
    if [ -f "$dir/build/$name.installed" ]; then return; fi
    echo "=== $(date -u) $name"
    local t0=$(date +%s)
    "$@"
    touch "$dir/build/$name.installed"
    echo "=== $(date -u) $name done in $(($(date +%s) - t0)) s"
}

build_openssl() {
    local src b="$dir/build/openssl"
    src="$(fetch openssl)"
    mkdir -p "$b"
    cd "$b"
    [ -f Makefile ] || perl "$src/Configure" mingw64 shared no-tests \
        --cross-compile-prefix="$cross" --prefix="$dir/openssl" --libdir=lib
    make -j"$jobs" build_sw
    make install_sw
}

qt_configure_line() {
    echo -opensource -confirm-license -release -shared -prefix "$dir/qt" \
        -platform linux-g++ -xplatform win32-g++ -device-option CROSS_COMPILE="$cross" \
        -nomake examples -nomake tests -no-compile-examples \
        -opengl desktop -no-dbus -no-icu -no-fontconfig -no-freetype -no-vulkan \
        -qt-zlib -qt-libpng -no-libjpeg -no-gif -qt-pcre -qt-harfbuzz \
        -no-feature-sql -no-feature-printer -no-feature-concurrent \
        -openssl-linked OPENSSL_INCDIR="$dir/openssl/include" OPENSSL_LIBDIR="$dir/openssl/lib" \
        OPENSSL_LIBS="-lssl -lcrypto"
}

build_qtbase() {
    local src b="$dir/build/qtbase"
    src="$(fetch qtbase-opensource-src)"
    mkdir -p "$b"
    cd "$b"
    if [ ! -f Makefile ]; then
        qt_configure_line > "$dir/configure-line"
        # shellcheck disable=SC2046
        "$src/configure" $(qt_configure_line)
    fi
    make -j"$jobs"
    make install
}

build_module() {
    local pkg="$1" module="$2" src b="$dir/build/$2"
    shift 2
    src="$(fetch "$pkg")"
    mkdir -p "$b"
    cd "$b"
    [ -f Makefile ] || "$dir/qt/bin/qmake" "$src" -- "$@"
    make -j"$jobs"
    make install
}

stage openssl build_openssl
stage qtbase build_qtbase
stage qtsvg build_module qtsvg-opensource-src qtsvg
stage qtdeclarative build_module qtdeclarative-opensource-src qtdeclarative \
    -no-feature-qml-debug -no-feature-quick-particles
stage qtquickcontrols2 build_module qtquickcontrols2-opensource-src qtquickcontrols2
stage qtwebsockets build_module qtwebsockets-opensource-src qtwebsockets

end=$(date +%s)
echo "$((end - $(cat "$dir/started")))" > "$dir/duration-seconds"
du -sh "$dir/qt" "$dir/openssl" "$dir" > "$dir/size"
touch "$dir/complete"
echo "=== $(date -u) complete in $((end - start)) s (this run), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$dir" >&3
