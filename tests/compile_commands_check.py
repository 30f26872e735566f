#!/usr/bin/env python3
"""Flattens every unit of a small CMake project through its compilation database
and checks each flattened file against the build's own compile.

    python3 tests/compile_commands_check.py [--tool build/tuflat] [--keep DIR]

The project is made in a scratch folder: two units in app/ and one in lib/, a
header found through -I, one through -iquote, one through -isystem, a forced
`-include` of a header that CMake writes into the build folder (the compile's
working directory, where GCC looks first), definitions with and without
values, and a -U of a name nothing defined. CMake writes
compile_commands.json; the build compiles the units.

For every entry, `tuflat -p BUILD SOURCE -o FLAT` must succeed with no
warning. Then the entry's own command compiles FLAT in place of the source,
with its -I, -iquote, -isystem, -D, -U and -include left out (the flattened
file carries them all): the object must define the same symbols
(`nm --defined-only`) as the build's object, and `gcc -E -P` of FLAT must give
the text that the entry's command gives with -E -P, blank lines dropped.
Skipped, with a line that says so, without cmake, gcc or nm.
"""

import argparse
import json
import os
import shlex
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_TOOL = os.path.join(os.path.dirname(HERE), "build", "tuflat")

PROJECT = {
    "CMakeLists.txt": """\
cmake_minimum_required(VERSION 3.13)
project(demo C)
file(WRITE ${CMAKE_BINARY_DIR}/forced.h "#define FORCED_SCALE 7\\n")
add_library(shapes STATIC lib/shapes.c)
target_include_directories(shapes PUBLIC include)
add_executable(app app/main.c app/report.c)
target_link_libraries(app shapes)
target_compile_definitions(app PRIVATE SIDES=4 "TITLE=\\"box\\"" VERBOSE)
target_compile_options(app PRIVATE "SHELL:-iquote ${CMAKE_SOURCE_DIR}/quoted"
  "SHELL:-isystem ${CMAKE_SOURCE_DIR}/vendor" "SHELL:-include forced.h"
  -UNOT_DEFINED_ANYWHERE)
""",
    "include/shapes.h": """\
#ifndef SHAPES_H
#define SHAPES_H
#include "units.h"
int shape_area(int side);
#endif
""",
    "include/units.h": """\
#pragma once
typedef long unit_t;
""",
    "quoted/settings.h": """\
#ifndef SETTINGS_H
#define SETTINGS_H
#define SETTING_SCALE (SIDES * FORCED_SCALE)
#endif
""",
    "vendor/vendor_api.h": """\
#ifndef VENDOR_API_H
#define VENDOR_API_H
static inline int vendor_twice(int x) { return 2 * x; }
#endif
""",
    "app/main.c": """\
#include <stdio.h>
#include "settings.h"
#include "shapes.h"
#include "vendor_api.h"
#ifdef NOT_DEFINED_ANYWHERE
int never_defined;
#endif
#ifdef VERBOSE
int verbose_build = SETTING_SCALE;
#endif
int report(void);
int main(void) {
  printf("%s %d\\n", TITLE, shape_area(vendor_twice(SIDES)));
  return report();
}
""",
    "app/report.c": """\
#include "shapes.h"
#include "settings.h"
unit_t report_units = SETTING_SCALE;
int report(void) { return (int)report_units - SETTING_SCALE; }
""",
    "lib/shapes.c": """\
#include "shapes.h"
unit_t shapes_made;
int shape_area(int side) { ++shapes_made; return side * side; }
""",
}

# Options that carry what the flattened file now holds, with a separate value
# or joined to it.
TAKEN_WITH_VALUE = ("-I", "-iquote", "-isystem", "-include", "-D", "-U")


def run(words, cwd, what):
    result = subprocess.run(words, cwd=cwd, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("compile_commands_check: %s failed (%d): %s\n%s%s" % (
            what, result.returncode, shlex.join(words), result.stdout, result.stderr))
    return result


def entry_words(entry):
    if "arguments" in entry:
        return list(entry["arguments"])
    return shlex.split(entry["command"])


def without_taken_options(words):
    """The words with every option the flattened file carries left out."""
    kept = []
    skip = False
    for word in words:
        if skip:
            skip = False
        elif word in TAKEN_WITH_VALUE:
            skip = True
        elif not word.startswith(TAKEN_WITH_VALUE):
            kept.append(word)
    return kept


def replaced(words, old, new):
    return [new if word == old else word for word in words]


def output_of(words):
    return words[words.index("-o") + 1]


def preprocessed(words, cwd, what):
    """The words as a -E -P run to standard output, blank lines dropped."""
    at = words.index("-o")
    words = words[:at] + words[at + 2:]
    words = [word for word in words if word != "-c"] + ["-E", "-P"]
    text = run(words, cwd, what).stdout
    return [" ".join(line.split()) for line in text.splitlines() if line.strip()]


def defined_symbols(path, cwd):
    return run(["nm", "--defined-only", path], cwd, "nm").stdout


def check_entry(tool, entry, build, out):
    directory = entry["directory"]
    source = os.path.join(directory, entry["file"])
    name = os.path.splitext(os.path.basename(source))[0]
    flat = os.path.join(out, name + ".flat.c")
    result = run([tool, "--quiet", "-p", build, source, "-o", flat], out, "tuflat on " + name)
    failures = []
    if result.stderr:
        failures.append("%s: tuflat warned:\n%s" % (name, result.stderr))
    words = entry_words(entry)
    source_word = next(word for word in words if word.endswith(entry["file"]))
    flat_words = replaced(without_taken_options(words), source_word, flat)
    flat_object = os.path.join(out, name + ".flat.o")
    flat_words = replaced(flat_words, output_of(flat_words), flat_object)
    run(flat_words, directory, "compiling the flattened " + name)
    build_object = os.path.join(directory, output_of(words))
    if defined_symbols(build_object, directory) != defined_symbols(flat_object, directory):
        failures.append("%s: the defined symbols differ" % name)
    original = preprocessed(words, directory, "preprocessing " + name)
    flattened = preprocessed(flat_words, directory, "preprocessing the flattened " + name)
    if original != flattened:
        failures.append("%s: gcc -E -P gives another text" % name)
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--tool", default=DEFAULT_TOOL)
    parser.add_argument("--keep", help="make the project in DIR and leave it there")
    options = parser.parse_args()
    missing = [program for program in ("cmake", "gcc", "nm") if shutil.which(program) is None]
    if missing:
        print("compile_commands_check: SKIPPED: it needs " + ", ".join(missing))
        return 0
    tool = os.path.abspath(options.tool)
    work = options.keep or tempfile.mkdtemp(prefix="compile_commands_check_")
    try:
        project = os.path.join(work, "project")
        for name, text in PROJECT.items():
            path = os.path.join(project, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as file:
                file.write(text)
        build = os.path.join(work, "build")
        run(["cmake", "-S", project, "-B", build, "-DCMAKE_C_COMPILER=gcc",
             "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON"], work, "cmake")
        run(["cmake", "--build", build], work, "the build")
        with open(os.path.join(build, "compile_commands.json")) as file:
            entries = json.load(file)
        out = os.path.join(work, "out")
        os.makedirs(out, exist_ok=True)
        failures = []
        for entry in entries:
            failures += check_entry(tool, entry, build, out)
        for failure in failures:
            print("FAILED: " + failure)
        print("compile_commands_check: %d units, %d failures" % (len(entries), len(failures)))
        return 1 if failures else 0
    finally:
        if not options.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
