#!/usr/bin/env python3
"""Runs two builds of tuflat on many generated source trees and requires that
they agree: the same exit status, the same output file bytes and the same
standard output (read with CR LF as LF, since the Windows console writes
CR LF). Standard error is not compared.

    python3 tests/differential.py --first build/tuflat \\
        --second "wine build-windows/tuflat.exe" [--seed N] [--count N] [--keep DIR]

Case K of seed S is generated from random.Random(S * 1000003 + K), so it can be
run again alone with --seed S --case K. With --keep, each failing tree and
both runs' results are left in DIR. --jobs N runs N cases at once.

The generator keeps clear of inputs where the builds differ by design: non-ASCII
text, file names that differ only in case or end in a dot or space, characters
Windows forbids in names of files that exist, Windows device names, files on
network paths, other drives than Z:, and prefixed (\\\\?\\) paths whose `..`
climb above the drive. Network and device roots do appear as /I directories
that hold no file.
"""

import argparse
import concurrent.futures
import contextlib
import difflib
import os
import posixpath
import random
import shutil
import subprocess
import sys
import tempfile

OPTION_FILE = "opts.txt"
OUTPUT_NAMES = ("out1.c", "out2.c")
RUN_TIMEOUT_SECONDS = 60
DIFF_LINES = 30

# All lower case, so that no two names differ only in case; none ends in a dot
# or space and none is a Windows device name.
HEADER_NAMES = [
    "a.h", "b.h", "c.h", "common.h", "util.hpp", "defs", "cfg.inc", "two words.h",
    "x_y-z.h", "v1.2.h", "0.h", "types.h", "p%s.h", "a+b=c.h", "[x].h",
]
DIRECTORIES = ["inc", "sub", "sub/deep", "lib", "a b", "v1.0", "src", "src/in ner"]
MISSING_NAMES = ["none.h", "gone/x.h", "sub/none.h", "nope", "inc/missing.hpp", "deep.h"]
# Names no file has: they may hold what Windows forbids in a file name.
ODD_NAMES = [
    "a\tb.h", " lead.h", "x\ry.h", "semi;colon.h", "pct%d%s.h", "q?.h", "st*r.h",
    "a|b.h", "lt<gt>.h", "n\0after.h", "sub/\\x.h", "\\\\?\\", "Z:", "z:rel.h",
]
# Network and device roots, spelled in the ways their resolution differs: the
# separators after the server and share, `.` and `..` at the root, `/`.
NETWORK_DIRECTORIES = [
    "\\\\srv\\share", "\\\\srv\\share\\", "\\\\srv\\share\\\\", "\\\\srv\\share\\dir",
    "\\\\srv\\share\\..", "\\\\srv\\share\\dir\\..\\..", "\\\\srv\\share\\.", "\\\\srv",
    "\\\\srv\\", "\\\\srv\\\\share\\..", "//srv/share", "//srv/share/a/./b//c/..", "/\\srv\\share",
    "\\\\?\\UNC\\srv\\share", "\\\\?\\UNC\\srv\\share\\..\\..\\..", "\\\\?\\", "\\\\?x\\y",
    "\\\\.\\pipe\\x", "\\\\.\\pipe\\x\\..", "\\\\.\\pipe\\..", "\\\\.", "\\\\?", "\\\\",
]
DETOURS = ["sub", "nope", "zz", "lib", "a b"]
SEPARATORS = ["/"] * 11 + ["\\"] * 6 + ["\\\\", "/\\", "\\/", "//"]
ANGLE_NAMES = ["stdio.h", "sys/types.h", "a.h", "vector", "two words.h", "b.h"]


def segments(path):
    return [part for part in path.replace("\\", "/").split("/") if part not in ("", ".")]


def peak_climb(name):
    """How far above its starting directory a relative name's `..` reach."""
    level = 0
    peak = 0
    for part in segments(name):
        level += -1 if part == ".." else 1
        peak = max(peak, -level)
    return peak


class CaseTree:
    """One generated tree: files as bytes, the option file and the arguments."""

    def __init__(self, rng, root):
        self.rng = rng
        self.root = root
        # The root's path on drive Z:, as Wine and the Linux layer show it.
        self.root_windows = root.replace("/", "\\")
        self.root_depth = len(segments(root))
        self.files = {}
        self.directories = set()
        self.include_directories = []
        self.min_depth = self.root_depth

    # --- choices -----------------------------------------------------------

    def chance(self, probability):
        return self.rng.random() < probability

    def pick(self, choices):
        return self.rng.choice(choices)

    # --- the tree ----------------------------------------------------------

    def generate(self):
        rng = self.rng
        self.main = self.pick(["main.c"] * 3 + ["src/main.c"])
        if self.main == "main.c":
            self.main_argument = self.pick(["main.c", "main.c", "./main.c"])
        else:
            self.main_argument = self.pick(
                ["src/main.c", "src\\main.c", "./src/main.c", "src//main.c"])
        self.main_missing = self.chance(0.06)

        places = [(directory, name) for directory in [""] + DIRECTORIES for name in HEADER_NAMES]
        headers = [posixpath.join(d, n) for d, n in rng.sample(places, rng.randint(1, 6))]
        for path in headers + [self.main]:
            self.add_directory(posixpath.dirname(path))
        for directory in rng.sample(DIRECTORIES, 2):
            self.add_directory(directory)

        options = self.option_text()
        # Headers come after the main source in an order that includes mostly
        # follow, so that repeated expansion stays small; the rest make cycles.
        order = [self.main] + headers
        for index, path in enumerate(order):
            if path == self.main and self.main_missing:
                continue
            self.files[path] = self.file_text(path, order[index + 1:], order)
        if options is not None:
            self.files[OPTION_FILE] = options

    def add_directory(self, directory):
        while directory:
            self.directories.add(directory)
            directory = posixpath.dirname(directory)

    def write(self):
        for directory in sorted(self.directories):
            os.makedirs(os.path.join(self.root, directory), exist_ok=True)
        for path, data in self.files.items():
            with open(os.path.join(self.root, path), "wb") as file:
                file.write(data)

    # --- names -------------------------------------------------------------

    def separator(self):
        return self.pick(SEPARATORS)

    def spell(self, name):
        """Writes a relative name with mixed separators, `./` and detours."""
        parts = name.split("/")
        if self.chance(0.15):
            parts.insert(0, ".")
        if self.chance(0.12):
            at = self.rng.randrange(len(parts))
            parts[at:at] = [self.pick(DETOURS), ".."]
        text = parts[0]
        for part in parts[1:]:
            text += self.separator() + part
        return text

    def windows_path(self, target):
        return self.root_windows + "\\" + target.replace("/", "\\")

    def absolute(self, target):
        windows = self.windows_path(target)
        forms = [
            self.root + "/" + target,
            windows,
            "Z:" + windows,
            "z:" + windows.replace("\\", "/"),
            "\\\\?\\Z:" + windows,
            "\\\\?\\z:" + windows,
        ]
        return self.pick(forms)

    def prefixed_with_dots(self, target):
        """A prefixed path that a plain one would name the same file by: the
        prefix tells Windows to take it as it is."""
        windows = self.windows_path(target)
        cut = windows.rfind("\\")
        forms = [
            windows[:cut] + "\\sub\\..\\" + windows[cut + 1:],
            windows[:cut] + "\\.\\" + windows[cut + 1:],
            windows[:cut] + "\\\\" + windows[cut + 1:],
            windows[:cut] + "/" + windows[cut + 1:],
        ]
        return "\\\\?\\Z:" + self.pick(forms)

    def reference(self, includer, target):
        """How `includer` names the existing file `target`."""
        roll = self.rng.random()
        if roll < 0.06:
            return self.absolute(target)
        if roll < 0.07:
            return self.prefixed_with_dots(target)
        bases = [posixpath.dirname(includer)] * 3 + [posixpath.dirname(self.main)]
        bases += [directory for directory, _ in self.include_directories if directory is not None]
        base = self.pick(bases)
        name = posixpath.relpath(target, base or ".")
        if self.chance(0.05):
            # Up out of the tree and back in through its own name.
            name = "../" * (len(segments(base)) + 1) + posixpath.basename(self.root) + "/" + target
        # Every search slot is at least min_depth deep: deeper `..` would
        # climb above the drive, where the builds differ by design.
        if peak_climb(name) > self.min_depth:
            name = target
        return self.spell(name)

    def missing_reference(self):
        if self.chance(0.2):
            return self.pick(ODD_NAMES)
        return self.spell(self.pick(MISSING_NAMES))

    # --- file contents -----------------------------------------------------

    def include_line(self, name):
        lead = self.pick(["", "", "", "", " ", "  ", "\t"])
        gap = self.pick(["", "", "", "", " ", "  ", "\t"])
        keyword = self.pick(["include"] * 10 + ["inc lude", "in\tclude", "i n c l u d e"])
        space = self.pick([" ", " ", " ", "", "\t", "   "])
        tail = self.pick(
            [""] * 8 + [" // note", " /* note */", " <angle.h>", "  ", "\t", " /* open", " x;"])
        return f'{lead}#{gap}{keyword}{space}"{name}"{tail}'

    def look_alike(self, name):
        """A line that names a file the way an include does, include or not."""
        angle = self.pick(ANGLE_NAMES)
        forms = [
            f'##include "{name}"',
            f'#include_next "{name}"',
            f'// #include "{name}"',
            f'/* #include "{name}" */',
            f'/* c */ #include "{name}"',
            f'/* c */#include "{name}"',
            f'x; #include "{name}"',
            f'#include "{name}',
            f'#include {name}',
            f'#include <{angle}>',
            f'#  include <{angle}>',
            f'#include <{angle}> "{name}"',
            f'#include "{name}" <{angle}>',
            f'#include <{name}',
            '#include ""',
            f'#include "a//{name}"',
            f'#include "/*{name}"',
            f'#import "{name}"',
            f'#define include "{name}"',
            f'#include "{name}\0tail"',
            f'char *s = "/*"; #include "{name}"',
            f'#include "{name}" /* still */ #include "{name}"',
        ]
        return self.pick(forms)

    def plain_line(self):
        number = self.rng.randint(0, 99)
        return self.pick([
            f"int v{number};", f"x = y + {number};", "", "", "    return 0;", "}", "{",
            f"#define M{number} 1", "#ifdef X", "#endif", 'char *s = "/*";', 's = "*/";',
            "// plain comment", "/* block */ int w;", "#pragma once", "a = b / c * d;",
            "p = q /*x*/ ;", "*/", "/*", "end */ int z;", "a\rb;", "/**/", "/*/ odd */",
            "   ", "\t", "# ", "#", "include", '"quoted"',
        ])

    def block_comment(self, lines):
        """An include inside a block comment that spans lines."""
        body = [self.pick(["/* begin", "x = 1; /* begin", "/*"])]
        body += lines
        body.append(self.pick(["*/", "end */", '*/ #include "b.h"', "**/ int after;"]))
        return body

    def file_text(self, path, later, everything):
        if path != self.main and self.chance(0.08):
            return self.pick([b"", b"", b"\n", b"\r\n"])
        items = []
        for _ in range(self.rng.randint(0, 10)):
            items.append([self.plain_line()])
        # The main source includes more, so that most headers are reached.
        for _ in range(self.rng.randint(1, 4) if path == self.main else self.rng.randint(0, 3)):
            roll = self.rng.random()
            if later and roll < 0.65:
                target = self.pick(later)
            elif roll < 0.8:
                # Any file, this one and the main source included: a cycle.
                target = self.pick(everything)
            else:
                target = None
            name = self.reference(path, target) if target is not None else self.missing_reference()
            if self.chance(0.2):
                items.append([self.include_line(name)] * 2)  # the same file twice
            else:
                items.append([self.include_line(name)])
        for _ in range(self.rng.randint(0, 4)):
            target = self.pick(everything)
            name = self.reference(path, target) if self.chance(0.7) else self.missing_reference()
            if self.chance(0.2):
                items.append(self.block_comment([self.include_line(name)]))
            else:
                items.append([self.look_alike(name)])
        if self.chance(0.1):
            items.append([self.include_line(self.pick(["", OPTION_FILE, self.pick(DIRECTORIES)]))])
        self.rng.shuffle(items)
        lines = [line for item in items for line in item]
        return self.join_lines(lines, 0.25)

    def join_lines(self, lines, no_final_lf):
        mode = self.pick(["lf", "lf", "crlf", "mixed"])
        text = ""
        for index, line in enumerate(lines):
            if mode == "mixed":
                end = self.pick(["\n", "\r\n", "\r\n", "\r\r\n"])
            else:
                end = "\n" if mode == "lf" else "\r\n"
            if index == len(lines) - 1 and self.chance(no_final_lf):
                end = ""
            text += line + end
        return text.encode("ascii")

    # --- the option file ---------------------------------------------------

    def include_directory(self):
        """An /I value and the directory it names (None when it names none)."""
        roll = self.rng.random()
        existing = sorted(self.directories)
        if roll < 0.5 and existing:
            directory = self.pick(existing)
            text = self.pick([
                directory, directory, "./" + directory, directory + "/", directory + "\\",
                directory.replace("/", "\\"), directory.replace(" ", "\t"),
                directory.replace(" ", "  "),
            ])
            return text, directory
        if roll < 0.6:
            return self.pick([".", "./", ".\\"]), ""
        if roll < 0.7:
            return self.pick(["nope", "gone/", "missing\\dir", "sub/none"]), None
        if roll < 0.75:
            return self.pick(NETWORK_DIRECTORIES), None
        if roll < 0.88:
            directory = self.pick(existing + [""])
            target = posixpath.join(self.root, directory).rstrip("/")
            windows = target.replace("/", "\\")
            text = self.pick([
                target, "Z:" + windows, "z:" + windows + "\\", "\\\\?\\Z:" + windows,
                "\\\\?\\Z:" + windows + "\\", "\\\\.\\Z:" + windows, "//./z:" + target,
            ])
            return text, directory
        if roll < 0.94:
            directory = self.pick(existing + [""])
            return "../" + posixpath.join(posixpath.basename(self.root), directory), directory
        if roll < 0.97:
            # Windows and the Linux layer both stop `..` at the drive's root.
            return "../" * (self.root_depth + 2), None
        return "", None

    def depth_of(self, text):
        """How deep below the drive's root the /I value resolves."""
        windows = text.replace("/", "\\")
        for prefix in ("\\\\?\\Z:", "\\\\?\\z:", "\\\\.\\Z:", "\\\\.\\z:", "Z:", "z:"):
            if windows.startswith(prefix):
                windows = windows[len(prefix):]
                break
        start = [] if windows.startswith("\\") else segments(self.root)
        level = len(start)
        for part in segments(windows):
            level = max(level - 1, 0) if part == ".." else level + 1
        return level

    def option_text(self):
        lines = []
        for _ in range(self.rng.randint(0, 4)):
            text, directory = self.include_directory()
            # A value with a leading space names a directory of that name,
            # which must not end in a dot or space (" .", " ..", " /").
            if text and text[0] not in "./\\" and self.chance(0.1):
                text = self.pick([" ", "\t", "  "]) + text
                directory = None
            if text and text not in NETWORK_DIRECTORIES:
                self.min_depth = min(self.min_depth, self.depth_of(text))
            self.include_directories.append((directory, text))
            # A comment after a space would leave a trailing space in the
            # value, and Windows drops trailing spaces from names.
            comment = self.pick([""] * 8 + ["#note", "# note"])
            lines.append("/I" + text + comment)
        for _ in range(self.rng.randint(0, 4)):
            number = self.rng.randint(0, 99)
            lines.append(self.pick([
                f"/DX{number}=1", "/DA=B=C", "/DFLAG", "/D X = 1", "/DE=", "/D\tT=\t2",
                f"/DN{number}=v # trailing comment", "/DP=a/b", '/DQ="s"', "/D", "/D=",
                "/DW=a  b\t c", f"/D  SPACED{number}   =  x", "/DH=#not a value", "/DC=1\t",
            ]))
        for _ in range(self.rng.randint(0, 4)):
            lines.append(self.pick([
                "-Iinc", "/iinc", "/dX=1", " /Iinc", "\t/DX=2", "# comment", "#/Iinc", "", "",
                "   ", "\t", "/X y", "/", "I inc", "D X", "  # indented comment",
            ]))
        self.rng.shuffle(lines)
        if self.chance(0.03):
            return None
        if self.chance(0.03):
            return b""
        return self.join_lines(lines, 0.3)


# --- running and comparing ---------------------------------------------------


class Result:
    def __init__(self, status, output, stdout, stderr):
        self.status = status
        self.output = output
        self.stdout = stdout
        self.stderr = stderr


def run(command, directory, tree, output_name):
    arguments = command + [OPTION_FILE, tree.main_argument, output_name]
    # Files, not pipes: a helper the command leaves running (Wine's server
    # stays a few seconds) would hold a pipe open and make each run wait.
    with tempfile.TemporaryFile() as stdout_file, tempfile.TemporaryFile() as stderr_file:
        try:
            status = subprocess.run(arguments, cwd=directory, stdin=subprocess.DEVNULL,
                                    stdout=stdout_file, stderr=stderr_file,
                                    timeout=RUN_TIMEOUT_SECONDS).returncode
        except subprocess.TimeoutExpired:
            status = "timeout"
        stdout_file.seek(0)
        stdout = stdout_file.read()
        stderr_file.seek(0)
        stderr = stderr_file.read()
    try:
        with open(os.path.join(directory, output_name), "rb") as file:
            output = file.read()
    except OSError:
        output = None
    return Result(status, output, stdout.replace(b"\r\n", b"\n"), stderr)


def shown_lines(data):
    if data is None:
        return ["(no file)\n"]
    text = data.decode("latin-1")
    lines = []
    for line in text.split("\n"):
        lines.append("".join(c if " " <= c <= "~" or c == "\t" else "\\x%02x" % ord(c)
                             for c in line) + "\n")
    return lines


def short_diff(first, second, what):
    diff = list(difflib.unified_diff(shown_lines(first), shown_lines(second),
                                     "first " + what, "second " + what, n=2))
    if len(diff) > DIFF_LINES:
        diff = diff[:DIFF_LINES] + ["... (%d more diff lines)\n" % (len(diff) - DIFF_LINES)]
    return "".join("    " + line for line in diff)


def keep_case(keep, name, directory, results):
    destination = os.path.join(keep, name)
    shutil.rmtree(destination, ignore_errors=True)
    shutil.copytree(directory, os.path.join(destination, "tree"), symlinks=True)
    for label, result in zip(("first", "second"), results):
        with open(os.path.join(destination, label + ".stdout"), "wb") as file:
            file.write(result.stdout)
        with open(os.path.join(destination, label + ".stderr"), "wb") as file:
            file.write(result.stderr)
        with open(os.path.join(destination, label + ".status"), "w") as file:
            file.write("%s\n" % result.status)
    return destination


def run_both(arguments, directory, tree):
    return [run(command, directory, tree, output)
            for command, output in zip((arguments.first, arguments.second), OUTPUT_NAMES)]


def differences_between(first, second):
    differences = []
    if first.status != second.status:
        differences.append("status")
    if first.output != second.output:
        differences.append("output file bytes")
    if first.stdout != second.stdout:
        differences.append("standard output")
    return differences


def stderr_excerpt(result):
    lines = result.stderr.decode("latin-1").splitlines()[:3]
    return " | ".join(lines) if lines else "(nothing)"


def run_case(arguments, case):
    """Returns whether the builds agree on the case, and what to report."""
    rng = random.Random(arguments.seed * 1000003 + case)
    # The real path, as the programs will see it for their current directory.
    directory = os.path.realpath(tempfile.mkdtemp(prefix="tuflat-diff-"))
    try:
        tree = CaseTree(rng, directory)
        tree.generate()
        tree.write()
        results = run_both(arguments, directory, tree)
        first, second = results
        differences = differences_between(first, second)
        if not differences:
            return True, ""
        title = "case %d (seed %d): " % (case, arguments.seed)
        # Wine now and then fails to start a program; a difference that does
        # not come back on a second run is shown but does not fail the check.
        if not differences_between(*run_both(arguments, directory, tree)):
            return True, (title + "%s differed once, not when run again; standard error: "
                          "first %s, second %s\n" % (", ".join(differences), stderr_excerpt(first),
                                                      stderr_excerpt(second)))
        report = [title + ", ".join(differences) + " differ\n"]
        report.append("  arguments: %s %s OUTPUT\n" % (OPTION_FILE, tree.main_argument))
        if first.status != second.status:
            report.append("  status: first %s, second %s\n" % (first.status, second.status))
        if first.output != second.output:
            report.append(short_diff(first.output, second.output, "output file"))
        elif first.stdout != second.stdout:
            report.append(short_diff(first.stdout, second.stdout, "standard output"))
        if arguments.keep:
            kept = keep_case(arguments.keep, "seed%d-case%d" % (arguments.seed, case),
                             directory, results)
            report.append("  kept in %s\n" % kept)
        return False, "".join(report)
    finally:
        shutil.rmtree(directory, ignore_errors=True)


@contextlib.contextmanager
def wine_kept_up(commands):
    """Keeps an idle Wine program open while the check runs, when a command
    runs under Wine. Otherwise the Wine server stops after nearly every run
    and starts again, which takes seconds, and a program that starts while it
    stops fails ("wine client error")."""
    loaders = sorted({command[0] for command in commands
                      if os.path.basename(command[0]).startswith("wine")})
    helpers = [subprocess.Popen([loader, "cmd"], stdin=subprocess.PIPE,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
               for loader in loaders]
    try:
        yield
    finally:
        for helper in helpers:
            # The end of its input ends the command interpreter.
            helper.stdin.close()
            try:
                helper.wait(timeout=30)
            except subprocess.TimeoutExpired:
                helper.kill()
                helper.wait()


def warm_up(command):
    """Starts each command once, so that a missing program stops the check
    and Wine's own first start is not inside a case."""
    try:
        done = subprocess.run(command + ["--version"], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
    except (OSError, subprocess.TimeoutExpired) as error:
        sys.exit("differential: cannot run %s: %s" % (" ".join(command), error))
    if done.returncode != 0:
        sys.exit("differential: %s --version ended with status %d" %
                 (" ".join(command), done.returncode))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--first", required=True, type=str.split,
                        help="the first build's command line, split on spaces")
    parser.add_argument("--second", required=True, type=str.split,
                        help="the second build's command line, split on spaces")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--count", type=int, default=200, help="the number of cases")
    parser.add_argument("--case", type=int, help="run only this case of the seed")
    parser.add_argument("--keep", metavar="DIR", help="leave failing trees in DIR")
    parser.add_argument("--jobs", type=int, default=min(4, os.cpu_count() or 1),
                        help="cases run at once (default: the processors, at most 4)")
    arguments = parser.parse_args()
    if not arguments.first or not arguments.second:
        parser.error("--first and --second need a command")
    if arguments.jobs < 1:
        parser.error("--jobs must be at least 1")
    if arguments.keep:
        os.makedirs(arguments.keep, exist_ok=True)
        arguments.keep = os.path.abspath(arguments.keep)

    # Wine's notes on standard error would only slow the runs down.
    os.environ.setdefault("WINEDEBUG", "-all")
    cases = [arguments.case] if arguments.case is not None else range(arguments.count)
    passed = failed = 0
    with wine_kept_up([arguments.first, arguments.second]):
        warm_up(arguments.first)
        warm_up(arguments.second)
        with concurrent.futures.ThreadPoolExecutor(max_workers=arguments.jobs) as pool:
            for agreed, report in pool.map(lambda case: run_case(arguments, case), cases):
                sys.stdout.write(report)
                sys.stdout.flush()
                if agreed:
                    passed += 1
                else:
                    failed += 1
    print("differential: %d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
