#!/usr/bin/env bash
# Times the reading of a big compilation database and reports the peak
# memory: the Linux build, and the Windows build under Wine (the 32-bit
# program, or where 32-bit programs cannot run, the same code built for
# 64-bit Windows under 64-bit Wine). The database is the one
# tests/big_database.py writes: entries with long argument lists, the main
# source's entry last, so that each run reads all of it.
#
# bench/database.sh [MEGABYTES]   the database's size (default 400)
#
# TUFLAT_BENCH_RUNS  timed runs per build (default 3); the median time and
#                    the largest peak are reported
# TUFLAT_BENCH_DIR   parent of the scratch directory (default: build-bench in
#                    the checkout); the scratch directory is removed at the end
#
# Peak memory is GNU time's maximum resident set size; under Wine it counts
# Wine's own libraries too. A build whose help does not offer
# --compile-commands is skipped, and the script says so.
#
# Needs cmake, g++, python3 and GNU time (Debian packages cmake g++ python3
# time); the Windows part needs g++-mingw-w64-i686 and wine32, or
# g++-mingw-w64-x86-64 and wine64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
megabytes=${1:-400}
runs=${TUFLAT_BENCH_RUNS:-3}

for tool in cmake g++ python3; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target tuflat >/dev/null

export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
# Builds the Windows program with the toolchain file $1 into $2 and prints
# the command that runs it under the Wine loader $3; fails when either is missing.
windows_command() {
  local triple
  triple=$(sed -n 's/^set(TUFLAT_MINGW_TRIPLE \(.*\))$/\1/p' "$root/cmake/$1")
  command -v "$triple-g++" >/dev/null && [ -x "$3" ] || return 1
  cmake -S "$root" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$1" -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$2" -j2 --target tuflat >/dev/null
  # The first start sets the prefix up, and is not timed.
  "$3" "$2/tuflat.exe" --version 2>/dev/null | grep -q '^tuflat ' || return 1
  echo "$3 $2/tuflat.exe"
}

commands=("linux:$build/tuflat")
if win=$(windows_command mingw-i686.cmake "$build-windows" "$(command -v wine || echo /none)"); then
  commands+=("windows:$win")
elif win=$(windows_command mingw-x86_64.cmake "$build-windows64" /usr/lib/wine/wine64); then
  commands+=("windows64:$win")
else
  echo "bench: SKIPPED: the Windows build (no cross compiler, or no Wine that runs it)"
fi

parent=${TUFLAT_BENCH_DIR:-$build}
mkdir -p "$parent"
scratch=$(mktemp -d "$parent/database.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
python3 "$root/tests/big_database.py" --write-only --dir "$scratch" --megabytes "$megabytes" >/dev/null
bytes=$(stat -c %s "$scratch/compile_commands.json")

printf '%-10s %10s %10s %12s\n' build seconds 'MB/s' 'peak MB'
for entry in "${commands[@]}"; do
  name=${entry%%:*}
  read -r -a command <<<"${entry#*:}"
  if ! "${command[@]}" --help 2>&1 | grep -q -- '--compile-commands'; then
    echo "$name: SKIPPED: its help does not offer --compile-commands"
    continue
  fi
  times=() peak=0
  for ((run = 0; run < runs; run++)); do
    (cd "$scratch" && /usr/bin/time -f '%e %M' -o "$scratch/time.txt" \
      "${command[@]}" -p compile_commands.json src/main.c -o out.c >/dev/null)
    read -r seconds kilobytes <"$scratch/time.txt"
    times+=("$seconds")
    [ "$kilobytes" -gt "$peak" ] && peak=$kilobytes
  done
  median=$(printf '%s\n' "${times[@]}" | sort -g | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }')
  awk -v name="$name" -v s="$median" -v b="$bytes" -v k="$peak" \
    'BEGIN { printf "%-10s %10.2f %10.1f %12.1f\n", name, s, (s > 0 ? b / 1048576 / s : 0), k / 1024 }'
done
