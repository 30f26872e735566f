#!/usr/bin/env bash
# Builds tuflat and runs the whole test suite: unit and end-to-end tests of the
# Linux build and, when the MinGW-w64 cross compiler and Wine are present, the
# same end-to-end tests run against the Windows build under Wine plus the
# differential check of the two builds.
#
# TUFLAT_BUILD_DIR   build folder (default: build)
# TUFLAT_CMAKE_ARGS  extra arguments for configuring the Linux build
# TUFLAT_WINDOWS=off leaves the Windows build out
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TUFLAT_BUILD_DIR:-$root/build}
windows_args=()

if [ "${TUFLAT_WINDOWS:-on}" = off ]; then
  echo "SKIPPED: the Windows build's tests (TUFLAT_WINDOWS=off)"
elif ! command -v i686-w64-mingw32-g++ >/dev/null || ! command -v wine >/dev/null; then
  echo "SKIPPED: the Windows build's tests: they need i686-w64-mingw32-g++ and wine" \
    "(Debian packages g++-mingw-w64-i686, wine and wine32)"
else
  windows_build=$build-windows
  cmake -S "$root" -B "$windows_build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
  cmake --build "$windows_build" -j2
  windows_args=(-DTUFLAT_WINDOWS_EXE="$windows_build/tuflat.exe")
  # Wine's first start sets up its prefix and says so on standard error. A
  # server kept up for the whole run spares every test its start and stop,
  # and a program started while it stops would fail.
  export WINEDEBUG=${WINEDEBUG:--all}
  # No .NET or HTML engine is needed, nor a prompt to install them.
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
  wine "$windows_build/tuflat.exe" --version >/dev/null 2>&1 || true
  wineserver -k 2>/dev/null || true
  wineserver -p 120 </dev/null >/dev/null 2>&1
fi

# shellcheck disable=SC2086
cmake -S "$root" -B "$build" -DBUILD_TESTING=ON -DTUFLAT_WINDOWS_EXE= "${windows_args[@]}" \
  ${TUFLAT_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure -j2
