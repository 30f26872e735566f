#!/usr/bin/env python3
"""Runs two tuflat programs on the same random trees and reports any run whose
exit status, standard output, standard error or output file differ.

  scripts/compare_builds.py NEW BASE [--seed S] [--trees N] [--bound-counts]

For changes that must leave every byte as it was (a cache, a faster scan):
BASE is a build of the commit before. Two kinds of tree take turns:
- scan trees: one header and a main source of random code, comments, CRs,
  NULs and include lines, in one directory;
- search trees: one to five /I directories holding some of nine header
  names (and directories of those names), each header including others,
  run with no flag, --quiet, --once, --expand-angle and --once --quiet.
A differing tree is copied to compare-builds-failures/ in the current
directory; the run stops after four.

With --bound-counts, NEW is the reduced-bounds build (base/bounds.h): it
counts the paths it takes where a bound is reached, the counts over all trees
are printed, and the run fails unless every path ran.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

SCAN_TOKENS = ['#include "x.h"', "#include <y.h>", '# include "x.h"', "#inc", "#", "/*", "*/",
               "//", "/", "*", "\r", "\n", "\n", "\n", " ", "  ", "\t", "a", "bc", "<", ">", '"',
               "\0", "\\", "#include", '"x.h"', "abcdefghijklmnopqrstuvwxyz0123456789",
               " " * 20, "code();\n", "x = 1; // c\n"]
NAMES = ["a.h", "b.h", "c.h", "d.h", "e.h", "f.h", "g.h", "sub/h.h", "../a.h"]
FLAGS = [[], ["--quiet"], ["--once"], ["--expand-angle"], ["--once", "--quiet"]]


def scan_tree(rng, root, it):
    def text():
        return "".join(rng.choice(SCAN_TOKENS) for _ in range(rng.randint(0, 60)))
    with open(f"{root}/main.c", "w", newline="") as f:
        f.write(text())
    with open(f"{root}/x.h", "w", newline="") as f:
        f.write(text().replace("x.h", "z.h"))
    with open(f"{root}/opts", "w") as f:
        f.write(f"/I{root}\n")
    return ["--expand-angle"] if it % 5 == 0 else []


def search_tree(rng, root, it):
    dirs = [f"{root}/d{k}" for k in range(rng.randint(1, 5))]

    def body():
        lines = []
        for _ in range(rng.randint(0, 9)):
            name = rng.choice(NAMES)
            lines.append(rng.choice([f'#include "{name}"\n', f"#include <{name}>\n", "code();\n",
                                     "// c\n", "/* x */\n", f'  #  include "{name}"  // t\n']))
        return "".join(lines)

    for d in dirs:
        os.makedirs(f"{d}/sub", exist_ok=True)
    for name in NAMES[:-1]:
        for d in dirs:
            draw = rng.random()
            if draw < 0.4:
                with open(f"{d}/{name}", "w") as f:
                    f.write(body())
            elif draw < 0.47:
                os.makedirs(f"{d}/{name}", exist_ok=True)
    with open(f"{root}/main.c", "w") as f:
        f.write(body() + body())
    with open(f"{root}/opts", "w") as f:
        f.write("".join(f"/I{d}\n" for d in dirs))
    return FLAGS[it % len(FLAGS)]


def run(program, flags, root, env=None):
    # Both programs write the same name, which their messages may show.
    out = f"{root}/out.c"
    done = subprocess.run([program] + flags + [f"{root}/opts", f"{root}/main.c", out],
                          capture_output=True, env=env)
    written = None
    if os.path.exists(out):
        written = open(out, "rb").read()
        os.remove(out)
    return done.returncode, done.stdout, done.stderr, written


def unreached_bounds(counts_file):
    """Prints the counts summed over the runs; returns the paths that never ran."""
    totals = {}
    if os.path.exists(counts_file):
        for line in open(counts_file):
            name, _, count = line.strip().partition("=")
            totals[name] = totals.get(name, 0) + int(count)
    if not totals:
        print("no bound counts: NEW is not the reduced-bounds build")
        return ["every path"]
    for name, count in totals.items():
        print(f"{name:28} {count}")
    return [name for name, count in totals.items() if count == 0]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("new")
    parser.add_argument("base")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--trees", type=int, default=2000)
    parser.add_argument("--bound-counts", action="store_true")
    args = parser.parse_args()
    rng = random.Random(args.seed)
    differences = 0
    unreached = []
    with tempfile.TemporaryDirectory() as scratch:
        counts_file = f"{scratch}/bound-counts"
        new_env = dict(os.environ, TUFLAT_BOUND_COUNTS=counts_file) if args.bound_counts else None
        for it in range(args.trees):
            root = f"{scratch}/t{it}"
            os.makedirs(root)
            make = scan_tree if it % 2 == 0 else search_tree
            flags = make(rng, root, it // 2)
            if run(args.new, flags, root, new_env) != run(args.base, flags, root):
                differences += 1
                kept = os.path.abspath(f"compare-builds-failures/t{it}")
                shutil.rmtree(kept, ignore_errors=True)
                shutil.copytree(root, kept, symlinks=True)
                print(f"tree {it} ({make.__name__}, flags {flags}) differs: copied to {kept}")
                if differences > 3:
                    break
            shutil.rmtree(root)
        if args.bound_counts:
            unreached = unreached_bounds(counts_file)
    print(f"{it + 1} trees, {differences} differing")
    if unreached:
        print(f"never reached: {', '.join(unreached)}")
    return 1 if differences or unreached else 0


if __name__ == "__main__":
    sys.exit(main())
