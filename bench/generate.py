#!/usr/bin/env python3
"""Generates one benchmark workload: a source tree, its option file and its
main source, the same bytes for the same seed, with nothing downloaded.

  once    a tree in which every header is included exactly once
  repeat  one tree of unguarded headers, included many times from the main source
  heavy   an include-heavy unit: 20 include directories and a few hundred
          guarded headers of 2 to 30 KB, each including 5 to 15 others whose
          names are found only in later directories, so that most candidates
          miss and the full expansion is about a gigabyte

Prints one line `files=N includes=N output=BYTES`: the files written, the
includes followed in the full expansion, and the size of the flattened
output, both computed from the generated text. The option file names directories by absolute path.
"""

import argparse
import os
import random
import sys

WORDS = (
    "value count index buffer state token node list table entry result size "
    "offset handle config option matcher printer listener fixture param type "
    "trait policy stream message failure assertion expect compare element range"
).split()


class Text:
    """A pool of ready lines and blocks, so that large files are assembled
    quickly: code, line comments, block comments and lines with a `/`."""

    def __init__(self, rng):
        self.rng = rng
        self.pieces = [self._piece() for _ in range(3000)]

    def _words(self, low, high):
        return " ".join(self.rng.choice(WORDS) for _ in range(self.rng.randint(low, high)))

    def _piece(self):
        rng = self.rng
        kind = rng.random()
        name = "%s_%d" % (rng.choice(WORDS), rng.randint(0, 9999))
        if kind < 0.15:
            return "// %s.\n" % self._words(4, 14)
        if kind < 0.25:
            lines = "".join(" * %s.\n" % self._words(3, 12) for _ in range(rng.randint(1, 6)))
            return "/**\n%s */\n" % lines
        if kind < 0.35:
            return "  int %s = %s / %d;  // %s\n" % (name, rng.choice(WORDS), rng.randint(2, 9),
                                                  self._words(2, 6))
        if kind < 0.45:
            return "template <typename T>\nstruct %s {\n  T %s;\n};\n" % (name.title(),
                                                                       rng.choice(WORDS))
        if kind < 0.55:
            return "  %s(%s, /* %s */ %d);\n" % (name, rng.choice(WORDS), rng.choice(WORDS),
                                                rng.randint(0, 99))
        return "  const %s& %s() const { return %s_; }\n" % (rng.choice(WORDS).title(), name,
                                                           rng.choice(WORDS))

    def body(self, size, inserted=""):
        """Lines of about `size` bytes, with `inserted` after the first third."""
        parts = []
        total = 0
        while total < size:
            if inserted and total >= size // 3:
                parts.append(inserted)
                inserted = ""
            piece = self.rng.choice(self.pieces)
            parts.append(piece)
            total += len(piece)
        return "".join(parts) + inserted


class Tree:
    """The files of a workload, and the size of each one's flattened text."""

    def __init__(self, root):
        self.root = root
        self.files = {}
        self.expanded = {}
        # Includes followed in the full expansion of each file.
        self.followed = {}

    def add(self, relative, text, children):
        """A file whose text holds one `#include "name"` line per child, given
        as (name, relative path of the file that name finds)."""
        # Each include line is kept as `//--- ` + the line, then the child's text.
        size = len(text.encode())
        followed = 0
        for _, child in children:
            size += len("//--- ") + self.expanded[child]
            followed += 1 + self.followed[child]
        self.files[relative] = text
        self.expanded[relative] = size
        self.followed[relative] = followed

    def write(self, directories, main):
        for relative, text in self.files.items():
            path = os.path.join(self.root, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as out:
                out.write(text)
        with open(os.path.join(self.root, "options.txt"), "w") as out:
            for directory in directories:
                out.write("/I%s\n" % os.path.join(self.root, directory))
        # No definitions: the output starts with two LFs, then the main source.
        return 2 + self.expanded[main], self.followed[main]


def include_lines(children):
    return "".join('#include "%s"\n' % name for name, _ in children)


def once(rng, text, root, scale):
    """Every header included once: header i is included by header (i - 1) // 8,
    and header 0 by the main source, each found in one of eight directories."""
    tree = Tree(root)
    count = int(4000 * scale)
    directories = ["inc%d" % d for d in range(8)]
    path_of = ["inc%d/h%d.h" % (i % 8, i) for i in range(count)]
    for i in reversed(range(count)):
        children = [("h%d.h" % c, path_of[c]) for c in range(8 * i + 1, min(8 * i + 9, count))]
        tree.add(path_of[i], text.body(rng.randint(16000, 112000)) + include_lines(children), children)
    tree.add("main.c", '#include "h0.h"\nint main() { return 0; }\n', [("h0.h", path_of[0])])
    return tree, directories


def repeat(rng, text, root, scale):
    """Forty unguarded headers in one directory, a tree of fan-out three whose
    root the main source includes again and again."""
    tree = Tree(root)
    count = 40
    path_of = ["tree/t%d.h" % i for i in range(count)]
    for i in reversed(range(count)):
        children = [("t%d.h" % c, path_of[c]) for c in range(3 * i + 1, min(3 * i + 4, count))]
        tree.add(path_of[i], text.body(rng.randint(8000, 32000)) + include_lines(children), children)
    target = int(512e6 * scale)
    repeats = max(1, target // tree.expanded[path_of[0]])
    root_include = [("t0.h", path_of[0])]
    tree.add("main.c", include_lines(root_include) * repeats + "int main() { return 0; }\n",
             root_include * repeats)
    return tree, ["tree"]


def heavy(rng, text, root, scale):
    """Four layers of guarded headers; a header includes 5 to 15 of the next
    layers down, and each layer lives in later directories than the one above,
    so that a name is found only after the directories before its own miss."""
    tree = Tree(root)
    directories = ["inc%02d" % d for d in range(20)]
    layers = [40, 60, 80, 120]
    path_of = {}
    for layer, count in enumerate(layers):
        for i in range(count):
            directory = 5 * layer + rng.randrange(5)
            path_of[(layer, i)] = "%s/l%d_%d.h" % (directories[directory], layer, i)
    for layer in reversed(range(len(layers))):
        for i in range(layers[layer]):
            children = []
            if layer + 1 < len(layers):
                for _ in range(rng.randint(5, 15)):
                    below = layer + 1 if rng.random() < 0.8 or layer + 2 >= len(layers) else layer + 2
                    c = rng.randrange(layers[below])
                    children.append(("l%d_%d.h" % (below, c), path_of[(below, c)]))
            guard = "BENCH_L%d_%d_H" % (layer, i)
            body = text.body(rng.randint(2000, 30000), include_lines(children))
            angle = "#include <vector>\n#include <string>\n"
            header = "#ifndef %s\n#define %s\n%s%s#endif  // %s\n" % (guard, guard, angle, body,
                                                                     guard)
            tree.add(path_of[(layer, i)], header, children)
    # The main source includes the top headers in turn until the output is
    # about a gigabyte.
    target = int(1e9 * scale)
    children = []
    total = 0
    while total < target:
        top = (0, len(children) % layers[0])
        children.append(("l0_%d.h" % top[1], path_of[top]))
        total += tree.expanded[path_of[top]]
    tree.add("main.cc", include_lines(children) + "int main() { return 0; }\n", children)
    return tree, directories


WORKLOADS = {"once": (once, "main.c"), "repeat": (repeat, "main.c"), "heavy": (heavy, "main.cc")}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("workload", choices=sorted(WORKLOADS))
    parser.add_argument("directory", help="where to write it (created; must be empty or absent)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--scale", type=float, default=1.0,
                        help="multiplies the output size (default 1)")
    arguments = parser.parse_args()
    root = os.path.abspath(arguments.directory)
    os.makedirs(root, exist_ok=True)
    if os.listdir(root):
        sys.exit("generate.py: %s is not empty" % root)
    rng = random.Random("%s:%d" % (arguments.workload, arguments.seed))
    build, main_name = WORKLOADS[arguments.workload]
    tree, directories = build(rng, Text(rng), root, arguments.scale)
    for directory in directories:
        os.makedirs(os.path.join(root, directory), exist_ok=True)
    output, followed = tree.write(directories, main_name)
    print("files=%d includes=%d output=%d" % (len(tree.files), followed, output))


if __name__ == "__main__":
    main()
