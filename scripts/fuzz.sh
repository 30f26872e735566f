#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang and runs each in turn.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# SECONDS     how long each target runs (default 60)
# TARGET      options, scan, full_path or compile_database (default: all four)
# TUFLAT_FUZZ_BUILD_DIR  build folder (default: build-fuzz)
# TUFLAT_FUZZ_ARGS       more libFuzzer flags, e.g. "-max_len=65536 -jobs=2"
#
# The seeds in tests/fuzz/corpus/TARGET are read, never written: what the
# fuzzer adds goes to BUILD/corpus/TARGET, kept from run to run, and a crash
# leaves its input in BUILD/crashes/. Exits 1 when a target finds a crash.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TUFLAT_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(options scan full_path compile_database)

# libFuzzer comes with clang's runtime libraries (Debian: libclang-rt-dev).
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
  >"$probe/probe.cc"
if ! command -v clang++ >/dev/null ||
  ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cc" -o "$probe/probe" 2>/dev/null; then
  echo "SKIPPED: the fuzz targets: they need clang++ with libFuzzer" \
    "(Debian packages clang and libclang-rt-dev)"
  exit 0
fi

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTUFLAT_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/crashes"
failed=()
for target in "${targets[@]}"; do
  mkdir -p "$build/corpus/$target"
  echo "fuzzing $target for $seconds s"
  # shellcheck disable=SC2086
  if ! "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/crashes/$target-" ${TUFLAT_FUZZ_ARGS:-} \
    "$build/corpus/$target" "$root/tests/fuzz/corpus/$target" 2>"$build/$target.log"; then
    tail -n 40 "$build/$target.log"
    failed+=("$target")
  else
    grep -E '^stat::(number_of_executed_units|new_units_added)' "$build/$target.log" || true
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]} (inputs in $build/crashes/, logs in $build/*.log)"
  exit 1
fi
echo "fuzzing: no crash in ${targets[*]}"
