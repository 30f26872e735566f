#!/usr/bin/env bash
# Builds tuflat in Release, generates the benchmark workloads one at a time
# into a scratch directory and times, side by side with hyperfine:
#   cat     copying the tool's output file (the same bytes) to a new file
#   tuflat  flattening the workload, its progress account sent to /dev/null
#   gcc     gcc -E -fdirectives-only, on the workloads where its output is the
#           same expansion (no include guards at work)
# then prints the medians, the ratios to cat and the peak RSS of each.
#
# bench/run.sh [WORKLOAD...]   once, repeat, heavy, heavy-once (default: all)
#
# TUFLAT_BENCH_RUNS  timed runs per command (default 10, after 2 warmup runs)
# TUFLAT_BENCH_DIR   parent of the scratch directory (default: /dev/shm when it
#                    has room, else /tmp); it is removed at the end
# TUFLAT_BENCH_SEED  seed of the generated trees (default 1)
#
# Needs cmake, g++, python3, gcc, hyperfine and GNU time (Debian packages
# cmake g++ python3 hyperfine time).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
runs=${TUFLAT_BENCH_RUNS:-10}
seed=${TUFLAT_BENCH_SEED:-1}
workloads=("$@")
[ ${#workloads[@]} -gt 0 ] || workloads=(once repeat heavy heavy-once)

for tool in cmake g++ python3 gcc hyperfine; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null
tuflat=$build/tuflat

# The heavy unit's output and cat's copy of it take 2 GB; the inputs are small
# except for the tree included once (250 MB).
need_kb=$((3 * 1024 * 1024))
free_kb() { df -Pk "$1" | awk 'NR == 2 { print $4 }'; }
parent=${TUFLAT_BENCH_DIR:-}
if [ -z "$parent" ]; then
  parent=/tmp
  if [ -d /dev/shm ] && [ -w /dev/shm ] && [ "$(free_kb /dev/shm)" -ge $((need_kb * 2)) ]; then
    parent=/dev/shm
  fi
fi
if [ "$(free_kb "$parent")" -lt "$need_kb" ]; then
  echo "bench: $parent has less than 3 GiB free" >&2
  exit 1
fi
scratch=$(mktemp -d "$parent/tuflat-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

echo "tuflat benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), seed $seed, $runs runs per command"
echo "machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -1)," \
  "$(free -g | awk '/^Mem:/ { print $2 }') GiB memory; scratch in $parent"

# The peak RSS of one run of a shell command, in KiB.
peak_rss() { /usr/bin/time -f %M -o "$scratch/rss" sh -c "$1" && cat "$scratch/rss"; }

summaries=()
for workload in "${workloads[@]}"; do
  flags=
  case $workload in
    once | repeat) tree=$workload main=main.c gcc=yes ;;
    heavy) tree=heavy main=main.cc gcc= ;;
    heavy-once) tree=heavy main=main.cc gcc= flags=--once ;;
    *) echo "bench: no workload '$workload'" >&2; exit 1 ;;
  esac
  work=$scratch/$tree
  if [ ! -d "$work" ]; then
    rm -rf "${scratch:?}"/*/
    facts=$(python3 "$root/bench/generate.py" "$tree" "$work" --seed "$seed")
  fi
  out=$scratch/out
  run_tool="'$tuflat' $flags '$work/options.txt' '$work/$main' '$out/tuflat.c'"
  mkdir -p "$out"
  # The reference run: its output is what cat copies.
  status=0
  sh -c "$run_tool > '$out/progress'" || status=$?
  if [ -n "$flags" ] && [ $status -ne 0 ]; then
    echo "SKIPPED: $workload: this tuflat does not accept $flags (status $status)"
    continue
  fi
  [ $status -eq 0 ] || { echo "bench: tuflat failed on $workload (status $status)" >&2; exit 1; }
  bytes=$(stat -c %s "$out/tuflat.c")
  [ -n "$flags" ] || [ "output=$bytes" = "$(grep -o 'output=[0-9]*' <<<"$facts")" ] || {
    echo "bench: $workload: $bytes output bytes, the generator expected: $facts" >&2
    exit 1
  }
  progress="$(wc -l <"$out/progress") progress lines, $(stat -c %s "$out/progress") bytes"
  rm "$out/progress"
  run_tool="$run_tool > /dev/null"
  run_cat="cat '$out/tuflat.c' > '$out/cat.c'"
  commands=(-n cat "$run_cat" -n tuflat "$run_tool")
  rss="cat=$(peak_rss "$run_cat") tuflat=$(peak_rss "$run_tool")"
  if [ -n "$gcc" ]; then
    includes=$(sed -n 's/^\/I/-I/p' "$work/options.txt" | tr '\n' ' ')
    run_gcc="gcc -E -fdirectives-only $includes '$work/$main' -o '$out/gcc.c'"
    commands+=(-n gcc "$run_gcc")
    rss="$rss gcc=$(peak_rss "$run_gcc")"
  fi
  echo
  echo "== $workload: $facts; $progress"
  hyperfine --style basic --warmup 2 --runs "$runs" --export-json "$scratch/$workload.json" \
    "${commands[@]}"
  summaries+=("$(python3 "$root/bench/report.py" "$workload" "$bytes" "$scratch/$workload.json" $rss)")
  rm -rf "$out"
done

echo
python3 "$root/bench/report.py" --header
printf '%s\n' "${summaries[@]}"
