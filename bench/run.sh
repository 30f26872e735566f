#!/usr/bin/env bash
# Builds tuflat in Release, generates the benchmark workloads one at a time
# into a scratch directory and times, side by side with hyperfine:
#   cat     copying the tool's output file (the same bytes) to another file
#   cat-inputs  (once only) cat of every input file into one file: what
#           opening, reading and writing the inputs costs, without a search
#   tuflat  flattening the workload into a file, its progress account into
#           another file
#   gcc     gcc -E -fdirectives-only into a file, on the workloads where it
#           does the same expansion (no include guards, no system headers)
# then prints the medians, the ratios to cat and the peak RSS of each. Each
# timed run writes new files (its old ones are removed first) after a sync,
# so that none pays for the write-back of another or for freeing old files.
# Every command writes a real file in the same directory, so that each pays
# for the same output bytes; the tool also pays for its progress account,
# which cat does not write.
#
# bench/run.sh [WORKLOAD...]   once, repeat, heavy, heavy-once (default: all)
#
# heavy-once is the heavy unit with --once; it is skipped, and says so, when
# the tool does not offer that flag.
#
# TUFLAT_BENCH_RUNS   timed runs per command (default 10, after 2 warmup runs),
#                     in rounds of five in which the commands take turns
# TUFLAT_BENCH_SCALE  multiplies the output sizes (default 1: about 250 MB,
#                     500 MB and 1 GB); 0.1 makes a quick run
# TUFLAT_BENCH_DIR    parent of the scratch directory (default: build-bench in
#                     the checkout); the scratch directory is removed at the end
# TUFLAT_BENCH_SEED   seed of the generated trees (default 1)
# TUFLAT_BENCH_BASELINE  another tuflat program, timed side by side as
#                     `baseline` (e.g. a build of an earlier commit); its
#                     output and progress must be the same bytes
#
# Needs cmake, g++, python3, gcc, hyperfine and GNU time (Debian packages
# cmake g++ python3 hyperfine time).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
runs=${TUFLAT_BENCH_RUNS:-10}
scale=${TUFLAT_BENCH_SCALE:-1}
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

# At scale 1 the heavy unit's output and cat's copy of it take 2 GB; the
# inputs are small except for the tree included once (250 MB).
need_kb=$(awk -v scale="$scale" 'BEGIN { printf "%d", 3 * 1024 * 1024 * scale }')
free_kb() { df -Pk "$1" | awk 'NR == 2 { print $4 }'; }
parent=${TUFLAT_BENCH_DIR:-$build}
mkdir -p "$parent"
if [ "$(free_kb "$parent")" -lt "$need_kb" ]; then
  echo "bench: $parent has less than $((need_kb / 1024)) MiB free" >&2
  exit 1
fi
scratch=$(mktemp -d "$parent/tuflat-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

echo "tuflat benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), scale $scale, seed $seed," \
  "$runs runs per command"
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
    facts=$(python3 "$root/bench/generate.py" "$tree" "$work" --seed "$seed" --scale "$scale")
  fi
  if [ -n "$flags" ] && ! "$tuflat" --help 2>&1 | grep -q -- "$flags"; then
    echo
    echo "SKIPPED: $workload: this tuflat does not offer $flags"
    continue
  fi
  out=$scratch/out
  mkdir -p "$out"
  run_tool="'$tuflat' $flags '$work/options.txt' '$work/$main' '$out/tuflat.c' > '$out/progress'"
  # The reference run: its output is what cat copies.
  status=0
  sh -c "$run_tool" || status=$?
  [ $status -eq 0 ] || { echo "bench: tuflat failed on $workload (status $status)" >&2; exit 1; }
  bytes=$(stat -c %s "$out/tuflat.c")
  [ -n "$flags" ] || [ "output=$bytes" = "$(grep -o 'output=[0-9]*' <<<"$facts")" ] || {
    echo "bench: $workload: $bytes output bytes, the generator expected: $facts" >&2
    exit 1
  }
  progress="$(wc -l <"$out/progress") progress lines, $(stat -c %s "$out/progress") bytes"
  run_cat="cat '$out/tuflat.c' > '$out/cat.c'"
  # Each command writes new files: its outputs of the run before are removed
  # before the sync that precedes its run, so that no run waits for the
  # file system to free (and, mounted with discard, discard) an old output's
  # blocks, which costs more than writing them and varies widely.
  commands=(-n cat "$run_cat")
  prepares=(--prepare "rm -f '$out/cat.c'; sync")
  rss="cat=$(peak_rss "$run_cat")"
  if [ "$workload" = once ]; then
    # The floor of any flattening: opening, reading and writing every input.
    find "$work" -name '*.h' | sort >"$scratch/inputs"
    echo "$work/$main" >>"$scratch/inputs"
    run_inputs="xargs -a '$scratch/inputs' cat > '$out/inputs.c'"
    commands+=(-n cat-inputs "$run_inputs")
    prepares+=(--prepare "rm -f '$out/inputs.c'; sync")
    rss="$rss cat-inputs=$(peak_rss "$run_inputs")"
  fi
  commands+=(-n tuflat "$run_tool")
  prepares+=(--prepare "rm -f '$out/tuflat.c' '$out/progress'; sync")
  rss="$rss tuflat=$(peak_rss "$run_tool")"
  if [ -n "${TUFLAT_BENCH_BASELINE:-}" ]; then
    run_base="'$TUFLAT_BENCH_BASELINE' $flags '$work/options.txt' '$work/$main' '$out/base.c'"
    run_base="$run_base > '$out/base-progress'"
    sh -c "$run_base" || true
    cmp -s "$out/tuflat.c" "$out/base.c" && cmp -s "$out/progress" "$out/base-progress" || {
      echo "bench: $workload: the baseline's output or progress differs" >&2
      exit 1
    }
    commands+=(-n baseline "$run_base")
    prepares+=(--prepare "rm -f '$out/base.c' '$out/base-progress'; sync")
    rss="$rss baseline=$(peak_rss "$run_base")"
  fi
  if [ -n "$gcc" ]; then
    includes=$(sed -n 's/^\/I/-I/p' "$work/options.txt" | tr '\n' ' ')
    run_gcc="gcc -E -fdirectives-only $includes '$work/$main' -o '$out/gcc.c'"
    commands+=(-n gcc "$run_gcc")
    prepares+=(--prepare "rm -f '$out/gcc.c'; sync")
    rss="$rss gcc=$(peak_rss "$run_gcc")"
  fi
  echo
  echo "== $workload: $facts; $progress"
  # The runs go in rounds of up to five per command, the commands in turn in
  # each, so that a drift of the machine's state (the page cache, the disk's
  # write-back) falls on every command alike rather than on whichever ran
  # last.
  exports=
  for ((done = 0, round = 1; done < runs; done += 5, round++)); do
    count=$((runs - done < 5 ? runs - done : 5))
    warmup=$([ $round -eq 1 ] && echo 2 || echo 0)
    hyperfine --style basic --warmup $warmup "${prepares[@]}" --runs $count \
      --export-json "$scratch/$workload.$round.json" "${commands[@]}"
    exports=${exports:+$exports,}$scratch/$workload.$round.json
  done
  summaries+=("$(python3 "$root/bench/report.py" "$workload" "$bytes" "$exports" $rss)")
  rm -rf "$out"
done

echo
python3 "$root/bench/report.py" --header
printf '%s\n' "${summaries[@]}"
