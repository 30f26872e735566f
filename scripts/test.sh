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

# Builds the Windows program with the toolchain file $1 into $2; 1 when the
# cross compiler is missing.
build_windows() {
  local triple
  triple=$(sed -n 's/^set(TUFLAT_MINGW_TRIPLE \(.*\))$/\1/p' "$root/cmake/$1")
  command -v "$triple-g++" >/dev/null || return 1
  cmake -S "$root" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$1" >/dev/null
  cmake --build "$2" -j2
}

# True when `$1` runs the Windows program $2. Wine's first start sets up its
# prefix and says so on standard error.
wine_runs() {
  $1 "$2" --version 2>/dev/null | grep -q '^tuflat '
}

if [ "${TUFLAT_WINDOWS:-on}" = off ]; then
  echo "SKIPPED: the Windows build's tests (TUFLAT_WINDOWS=off)"
elif ! command -v wine >/dev/null; then
  echo "SKIPPED: the Windows build's tests: they need wine" \
    "(Debian packages wine and wine32, or wine64 on a machine without 32-bit support)"
else
  # The tests' own Wine prefix, as the tests set it up (tests/CMakeLists.txt):
  # the user's Wine and its programs stay untouched.
  export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all
  # No .NET or HTML engine is needed, nor a prompt to install them.
  export WINEDLLOVERRIDES=mscoree,mshtml=
  mkdir -p "$build"
  windows_exe= wine_command=
  # The 32-bit program is the tool's own; it always builds when it can. Its
  # tests need a machine that runs 32-bit code. Elsewhere the same code, built
  # for 64-bit Windows, is tested under 64-bit Wine.
  if build_windows mingw-i686.cmake "$build-windows" &&
    wine_runs wine "$build-windows/tuflat.exe"; then
    windows_exe=$build-windows/tuflat.exe wine_command=$(command -v wine)
  elif [ -x /usr/lib/wine/wine64 ] && build_windows mingw-x86_64.cmake "$build-windows64" &&
    wine_runs /usr/lib/wine/wine64 "$build-windows64/tuflat.exe"; then
    echo "WARNING: this machine cannot run the 32-bit program the project ships;" \
      "testing the 64-bit Windows build of the same code instead" >&2
    windows_exe=$build-windows64/tuflat.exe wine_command=/usr/lib/wine/wine64
  fi
  if [ -z "$windows_exe" ]; then
    echo "SKIPPED: the Windows build's tests: no Windows build runs under Wine here" \
      "(32-bit: g++-mingw-w64-i686, wine32 and a kernel that runs 32-bit code;" \
      "64-bit: g++-mingw-w64-x86-64 and wine64)"
  else
    windows_args=(-DTUFLAT_WINDOWS_EXE="$windows_exe" -DTUFLAT_WINE="$wine_command")
  fi
fi

# shellcheck disable=SC2086
cmake -S "$root" -B "$build" -DBUILD_TESTING=ON -DTUFLAT_WINDOWS_EXE= -DTUFLAT_WINE= "${windows_args[@]}" \
  ${TUFLAT_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j2
# No tests at all (GoogleTest missing) is a failure here, not a pass.
ctest --test-dir "$build" --output-on-failure --no-tests=error -j2
