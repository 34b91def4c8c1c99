# The recipe of the Windows toolkit, sourced by toolkit.sh: the sources and every build step. Its
# hash names the toolkit's cache folder, so any change here makes a new toolkit; toolkit.sh itself
# only fetches, caches and records.

# Debian bookworm's source packages at pinned versions, in build order. A version the mirror no
# longer carries makes the fetch fail plainly; bump it here.
sources=(
    "openssl 3.0.20-1~deb12u2"
    "qtbase-opensource-src 5.15.8+dfsg-11+deb12u3"
    "qtsvg-opensource-src 5.15.8-3"
    "qtdeclarative-opensource-src 5.15.8+dfsg-3"
    "qtquickcontrols2-opensource-src 5.15.8+dfsg-2"
    "qtwebsockets-opensource-src 5.15.8-2"
)

# OpenSSL as DLLs for Qt's network module (the API's HTTPS); its programs and tests are not needed.
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

# Qt's base with only what the client uses: Core, Gui, Widgets (the tray), Network (linked to
# OpenSSL), Test; the Windows platform plugin on desktop OpenGL. Release, shared, no examples or tests.
qt_configure_arguments() {
    qt_arguments=(-opensource -confirm-license -release -shared -prefix "$dir/qt"
        -platform linux-g++ -xplatform win32-g++ -device-option "CROSS_COMPILE=$cross"
        -nomake examples -nomake tests -no-compile-examples
        -opengl desktop -no-dbus -no-icu -no-fontconfig -no-freetype -no-vulkan
        -qt-zlib -qt-libpng -no-libjpeg -no-gif -qt-pcre -qt-harfbuzz
        -no-feature-sql -no-feature-printer -no-feature-concurrent
        -openssl-linked "OPENSSL_INCDIR=$dir/openssl/include" "OPENSSL_LIBDIR=$dir/openssl/lib"
        "OPENSSL_LIBS=-lssl -lcrypto")
}

build_qtbase() {
    local src b="$dir/build/qtbase"
    src="$(fetch qtbase-opensource-src)"
    mkdir -p "$b"
    cd "$b"
    if [ ! -f Makefile ]; then
        qt_configure_arguments
        printf '%q ' "$src/configure" "${qt_arguments[@]}" > "$dir/configure-line"
        "$src/configure" "${qt_arguments[@]}"
    fi
    # Debian's source leaves out Qt's copy of the Wintab headers (their licence); the Windows platform
    # plugin's tablet support builds against Debian's own, from Wine's development headers, with the
    # two spellings of the original that Qt uses.
    local wintab="$src/src/3rdparty/wintab"
    mkdir -p "$wintab"
    cp /usr/include/wine/wine/windows/pktdef.h "$wintab/"
    cat > "$wintab/wintab.h" <<'WINTAB'
#pragma once
#include <windows.h>
#define API WINAPI
#define DECL_WINELIB_TYPE_AW(type) typedef type##W type;
#include "/usr/include/wine/wine/windows/wintab.h"
WINTAB
    make -j"$jobs"
    make install
}

# One more Qt module against the installed base; ARGUMENTS go to the module's own configure.
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

recipe_stages() {
    stage openssl build_openssl
    stage qtbase build_qtbase
    stage qtsvg build_module qtsvg-opensource-src qtsvg
    # QML without its debugging services and particles, and without the Direct3D 12 scene graph (its
    # shaders need Microsoft's HLSL compiler; the client draws with OpenGL or in software); Qt Quick
    # Controls 2 with its styles.
    stage qtdeclarative build_module qtdeclarative-opensource-src qtdeclarative \
        -no-feature-qml-debug -no-feature-quick-particles -no-feature-d3d12
    stage qtquickcontrols2 build_module qtquickcontrols2-opensource-src qtquickcontrols2
    # The client's link to the service and the service's listener. Debian's mirror has been seen to
    # serve this package's description but not its tarballs: then the toolkit goes without it.
    stage --optional qtwebsockets build_module qtwebsockets-opensource-src qtwebsockets
}
