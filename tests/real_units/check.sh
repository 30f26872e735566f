#!/usr/bin/env bash
# Shows on real library units that --once keeps a unit's meaning: each unit is
# flattened with --once and then
#   (a) preprocesses to the same text as the original, __FILE__/__LINE__ aside,
#   (b) compiles to the same defined symbols,
#   (c) is of a reasonable size (the size without --once is shown beside it),
# and flattened with --once and --line-directives it preprocesses to the same
# text, __LINE__ included, and compiles.
# Units: gtest-all.cc of the installed test framework sources, a unit using a
# logging library whose headers use #pragma once, <> includes and includes
# inside #if blocks, and a small tree of include-once traps beside this script.
# A unit whose package or compiler is missing is skipped, and said so.
#
# usage: tests/real_units/check.sh path/to/tuflat
set -uo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 path/to/tuflat" >&2
  exit 2
fi
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
if [ ! -x "$tool" ]; then
  echo "$0: $1 is not an executable" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
for program in g++ nm; do
  if ! command -v $program >/dev/null; then
    echo "SKIPPED: real-unit checks: they need $program (Debian: g++, binutils)"
    exit 0
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

pass() {
  echo "  ok: $*"
  passed=$((passed + 1))
}
fail() {
  echo "  FAILED: $*"
  failed=$((failed + 1))
}

# Check (a), first form: the text after the compiler's directive pass.
# -fdirectives-only runs #include, #define, #undef and the conditionals but
# expands no macro in the text, and it writes every #define and #undef where
# it was met. So __FILE__ and __LINE__ stay as written in both texts, and equal
# directive-pass texts, macro definitions included, expand to equal texts
# except where those two expand: the exact comparison the claim asks for.
# That pass keeps comments, which differ for no fault (the tool's `//--- `
# lines, its cycle marker where the compiler rereads a guarded header only to
# skip it). A second pass in -fpreprocessed mode drops them: it lexes the text
# as the compiler would, expands nothing and, with -dD, keeps the #define and
# #undef lines. It does not splice lines, so that is done before it, as the
# compiler's own second phase would. Anything it says on standard error means
# it lexed the text differently from the compiler, and fails the check. The
# tool's own guard around #pragma once files is then taken out of the
# flattened side, and the compiler's #pragma once lines and blank lines out of
# both.
directive_text() {
  local errors=$1
  shift
  g++ "${cxxflags[@]}" -E -P -fdirectives-only "$@" 2>"$errors" |
    sed -e ':a' -e '/\\$/{N; s/\\\n//; ta}' |
    g++ "${cxxflags[@]}" -E -P -fpreprocessed -dD -x c++ - 2>>"$errors" |
    sed -E '/^[[:space:]]*$/d; /^[[:space:]]*#[[:space:]]*pragma[[:space:]]+once[[:space:]]*$/d'
}
tool_guards='/^[[:space:]]*#[[:space:]]*define TUFLAT_ONCE_[0-9]+_[[:space:]]*$/d'

# Check (a), second form: the fully preprocessed texts. They may differ only
# where __FILE__ (a string literal naming a source file) or __LINE__ (a
# number) expanded: both are masked on both sides, and the masked texts must
# be equal. This is looser than the first form and only confirms it.
file_masked() {
  sed -E 's/"[^"]*\.(h|hh|hpp|hxx|inl|ipp|c|cc|cpp|cxx)"/"FILE"/g' "$1"
}
masked() {
  file_masked "$1" | sed -E 's/\b[0-9]+\b/N/g'
}

# Sorted defined symbols, types kept, addresses dropped. The assembler's
# local labels (.L...) go too: they number string literals, and __FILE__
# makes the two units hold different ones.
symbols() {
  nm --defined-only -C "$1" | sed -E 's/^[0-9a-f]+ //; /^. \.L/d' | LC_ALL=C sort
}

size_of() {
  wc -c <"$1" | tr -d ' '
}

# Size of the flattened unit without --once, counted as it streams through
# standard output: it may be far too large to keep.
size_without_once() {
  local counts lines bytes
  counts=$("$tool" --quiet "$@" /dev/stdout 2>/dev/null | wc -lc)
  read -r lines bytes <<<"$counts"
  echo "$bytes bytes, $lines lines"
}

# check_unit NAME SOURCE LIMIT TOOLFLAGS... -- CXXARGS...
# Flattens SOURCE with --once (options from $work/NAME.opt) and compares it
# with the original compiled with CXXARGS. LIMIT is the largest size the
# flattened unit may have.
check_unit() {
  local name=$1 source=$2 limit=$3
  shift 3
  local toolflags=()
  while [ "$1" != -- ]; do
    toolflags+=("$1")
    shift
  done
  shift
  local original_args=("$@")
  local flat=$work/$name.flat.cc
  echo "$name: $source"
  "$tool" --once "${toolflags[@]}" "$work/$name.opt" "$source" "$flat" >"$work/$name.progress"
  local status=$?
  if [ $status -ne 0 ]; then
    fail "tuflat --once ${toolflags[*]} exited with status $status"
    return
  fi
  local size without
  size=$(size_of "$flat")
  without=$(size_without_once "${toolflags[@]}" "$work/$name.opt" "$source")
  echo "  size with --once: $size bytes, $(wc -l <"$flat") lines (limit $limit bytes)"
  echo "  size without --once: $without"
  if [ "$size" -gt "$limit" ]; then
    fail "size $size > $limit"
  elif [ "$size" -ge "${without%% *}" ]; then
    fail "--once skipped nothing"
  else
    pass "size"
  fi

  directive_text "$work/$name.err" "${original_args[@]}" "$source" >"$work/$name.orig.dir" &&
    directive_text "$work/$name.flat.err" "$flat" | sed -E "$tool_guards" >"$work/$name.flat.dir"
  if [ $? -ne 0 ] || [ -s "$work/$name.err" ] || [ -s "$work/$name.flat.err" ]; then
    fail "directive pass: $(cat "$work/$name.err" "$work/$name.flat.err" | head -5)"
  elif grep -q TUFLAT_ONCE_ "$work/$name.orig.dir"; then
    fail "the original itself uses the tool's guard names"
  elif diff "$work/$name.orig.dir" "$work/$name.flat.dir" >"$work/$name.diff"; then
    pass "directive pass equal ($(wc -l <"$work/$name.orig.dir") lines, macros unexpanded)"
  else
    fail "directive pass differs:"
    head -20 "$work/$name.diff"
  fi

  g++ "${cxxflags[@]}" -E -P "${original_args[@]}" "$source" 2>/dev/null |
    sed '/^[[:space:]]*$/d' >"$work/$name.orig.i"
  g++ "${cxxflags[@]}" -E -P "$flat" 2>/dev/null | sed '/^[[:space:]]*$/d' >"$work/$name.flat.i"
  local differing
  differing=$(diff "$work/$name.orig.i" "$work/$name.flat.i" | grep -c '^<')
  if [ ! -s "$work/$name.orig.i" ]; then
    fail "full preprocessing gave no text"
  elif cmp -s <(masked "$work/$name.orig.i") <(masked "$work/$name.flat.i"); then
    pass "full preprocessing equal ($(wc -l <"$work/$name.orig.i") lines, $differing differ only in __FILE__/__LINE__)"
  else
    fail "full preprocessing differs beyond __FILE__/__LINE__:"
    diff <(masked "$work/$name.orig.i") <(masked "$work/$name.flat.i") | head -20
  fi

  if ! g++ "${cxxflags[@]}" -w -c "${original_args[@]}" "$source" -o "$work/$name.orig.o" 2>"$work/$name.err"; then
    fail "the original does not compile: $(head -5 "$work/$name.err")"
  elif ! g++ "${cxxflags[@]}" -w -c "$flat" -o "$work/$name.flat.o" 2>"$work/$name.err"; then
    fail "the flattened unit does not compile:"
    head -10 "$work/$name.err"
  else
    symbols "$work/$name.orig.o" >"$work/$name.orig.sym"
    symbols "$work/$name.flat.o" >"$work/$name.flat.sym"
    if [ ! -s "$work/$name.orig.sym" ]; then
      fail "the original defines no symbol"
    elif diff "$work/$name.orig.sym" "$work/$name.flat.sym" >"$work/$name.diff"; then
      pass "same defined symbols ($(wc -l <"$work/$name.orig.sym"))"
    else
      fail "defined symbols differ:"
      head -20 "$work/$name.diff"
    fi
  fi
}

# check_line_directives NAME SOURCE TOOLFLAGS...: the unit flattened with
# --once and --line-directives preprocesses to the original's text with only
# the spelling of __FILE__ masked (so every __LINE__ must be right), and it
# still compiles. Run after check_unit NAME, whose preprocessed original it
# reuses.
check_line_directives() {
  local name=$1 source=$2
  shift 2
  local flat=$work/$name.lines.cc
  if ! "$tool" --once --line-directives "$@" "$work/$name.opt" "$source" "$flat" >/dev/null; then
    fail "tuflat --once --line-directives $* failed"
    return
  fi
  if ! grep -q '^#line 1 ' "$flat"; then
    fail "--line-directives wrote no #line directive"
  fi
  g++ "${cxxflags[@]}" -E -P "$flat" 2>/dev/null | sed '/^[[:space:]]*$/d' >"$work/$name.lines.i"
  if cmp -s <(file_masked "$work/$name.orig.i") <(file_masked "$work/$name.lines.i"); then
    pass "with --line-directives: full preprocessing equal, __LINE__ included"
  else
    fail "with --line-directives: full preprocessing differs beyond the spelling of __FILE__:"
    diff <(file_masked "$work/$name.orig.i") <(file_masked "$work/$name.lines.i") | head -6
  fi
  if g++ "${cxxflags[@]}" -w -c "$flat" -o "$work/$name.lines.o" 2>"$work/$name.err"; then
    pass "compiles with --line-directives too"
  else
    fail "does not compile with --line-directives:"
    head -10 "$work/$name.err"
  fi
}

# Bytes in the files under the given directories: one copy of each file a
# unit can expand, the measure of a reasonable flattened size.
library_bytes() {
  find "$@" -type f -exec cat {} + | wc -c
}

cxxflags=(-std=c++17)

# The size limits hold the include-once rule to what skipping only where the
# compiler surely reads nothing costs. A rule that took every guard as
# entered gave 964,142 bytes for gtest-all.cc and 3,043,917 for the logging
# unit with Debian 12's packages: 1.00 and 3.55 times the bytes of their
# libraries. The sound rule must stay within a tenth of that.
gtest=/usr/src/googletest/googletest
if [ -f "$gtest/src/gtest-all.cc" ]; then
  printf '/I%s\n/I%s\n' "$gtest/include" "$gtest" >"$work/gtest.opt"
  check_unit gtest "$gtest/src/gtest-all.cc" \
    $(($(library_bytes "$gtest/include" "$gtest/src") * 110 / 100)) -- -I"$gtest/include" -I"$gtest"
  check_line_directives gtest "$gtest/src/gtest-all.cc"
else
  echo "SKIPPED: gtest-all.cc: it needs $gtest (Debian: libgtest-dev)"
fi

if [ -f /usr/include/spdlog/spdlog.h ] && [ -f /usr/include/fmt/core.h ]; then
  # The library's <> includes are expanded from a copy of its own headers,
  # so that the system's headers stay includes.
  mkdir -p "$work/include"
  cp -r /usr/include/spdlog /usr/include/fmt "$work/include/"
  printf '/I%s\n' "$work/include" >"$work/logging.opt"
  # Most of these headers are first met inside #if blocks, and a file first
  # expanded there is expanded again at each later include: a looser limit.
  check_unit logging "$here/logging_unit.cc" $(($(library_bytes "$work/include") * 390 / 100)) \
    --expand-angle -- -I"$work/include"
  check_line_directives logging "$here/logging_unit.cc" --expand-angle
else
  echo "SKIPPED: the logging unit: it needs /usr/include/spdlog and /usr/include/fmt" \
    "(Debian: libspdlog-dev)"
fi

: >"$work/tricky.opt"
check_unit tricky "$here/tricky/main.cc" $(($(library_bytes "$here/tricky") * 2)) --
check_line_directives tricky "$here/tricky/main.cc"

echo "real_units: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
