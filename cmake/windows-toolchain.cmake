# Cross-building for 64-bit Windows with MinGW-w64 (posix threads) against the toolkit that
# scripts/windows/toolkit.sh builds: -DCMAKE_TOOLCHAIN_FILE=cmake/windows-toolchain.cmake
# -DVPN_WIN_TOOLKIT=FOLDER (or VPN_WIN_TOOLKIT in the environment). scripts/windows/build.sh does both.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

if(NOT VPN_WIN_TOOLKIT)
    set(VPN_WIN_TOOLKIT "$ENV{VPN_WIN_TOOLKIT}")
endif()
if(NOT VPN_WIN_TOOLKIT OR NOT EXISTS "${VPN_WIN_TOOLKIT}/qt/lib/cmake/Qt5")
    message(FATAL_ERROR "VPN_WIN_TOOLKIT must name a built toolkit (scripts/windows/toolkit.sh --dir)")
endif()
# Try-compiles read this file again in a project of their own: hand the folder down.
set(ENV{VPN_WIN_TOOLKIT} "${VPN_WIN_TOOLKIT}")

set(triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)

set(CMAKE_FIND_ROOT_PATH "${VPN_WIN_TOOLKIT}/qt" "${VPN_WIN_TOOLKIT}/openssl" /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_PREFIX_PATH "${VPN_WIN_TOOLKIT}/qt")

# Translations are compiled by the host's Qt tools: a .qm file is the same on every system.
set(Qt5LinguistTools_DIR /usr/lib/x86_64-linux-gnu/cmake/Qt5LinguistTools CACHE PATH "The host's Qt translation tools")

# ctest runs the Windows tests through Wine (a prefix of the build's own, see that script).
get_filename_component(vpn_source_dir "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${vpn_source_dir}/scripts/windows/wine-run.sh")
