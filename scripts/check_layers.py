#!/usr/bin/env python3
"""Checks that the code's folders depend one way, top to bottom.

    scripts/check_layers.py [--graph]

Reads every quoted #include of the C++ files in the layered folders and fails
(status 1, one line per fault) on
  - an include that goes up a layer, or into a folder outside the layers;
  - an include of the search's modules from the flattening, but for the
    search's one door, search/search.h;
  - a circle of modules: a module is `name.h` with its `name.cc`, and an
    operating-system folder's `name.cc` belongs to the module of the portable
    `name.h` it implements, one folder up.
Angle includes (the system's and the libraries') are not read.

--graph prints each module and the modules it includes, for a closer look.
"""
import argparse
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Top to bottom: a file may include files of its own layer and of the layers
# below it. A layer is one folder or more; an operating-system folder lies in
# the layer of the portable code above it.
LAYERS = [
    ["driver"],
    ["flatten"],
    ["search"],
    ["output"],
    ["base"],
    ["platform", "platform/linux", "platform/windows"],
]
# The flattening reaches the search through this header alone.
SEARCH_DOOR = "search/search.h"
OS_FOLDERS = {"platform/linux", "platform/windows"}
# Not part of the program: they may include any layer.
LEFT_OUT = ["tests", "bench", "examples", "scripts", "cmake", "doc"]

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)


def layer_of(folder):
    for index, folders in enumerate(LAYERS):
        if folder in folders:
            return index
    return None


def module_of(path):
    """`folder/name` for folder/name.h and folder/name.cc; an OS folder's file
    joins the portable module one folder up when that module's header exists."""
    folder, base = os.path.split(path)
    name = os.path.splitext(base)[0]
    if folder in OS_FOLDERS:
        parent = os.path.dirname(folder)
        if os.path.exists(os.path.join(ROOT, parent, name + ".h")):
            return parent + "/" + name
    return folder + "/" + name


def program_files():
    for folders in LAYERS:
        for folder in folders:
            for name in sorted(os.listdir(os.path.join(ROOT, folder))):
                if name.endswith((".h", ".cc")):
                    yield folder + "/" + name


def read_includes(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as source:
        text = source.read()
    folder = os.path.dirname(path)
    for included in INCLUDE.findall(text):
        yield os.path.normpath(os.path.join(folder, included)).replace(os.sep, "/")


def find_circles(edges):
    """The strongly connected groups of more than one module (Tarjan)."""
    index, low, stack, on_stack, groups = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for target in sorted(edges.get(node, ())):
            if target not in index:
                visit(target)
                low[node] = min(low[node], low[target])
            elif target in on_stack:
                low[node] = min(low[node], index[target])
        if low[node] == index[node]:
            group = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.append(member)
                if member == node:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    sys.setrecursionlimit(10000)
    for node in sorted(edges):
        if node not in index:
            visit(node)
    return groups


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--graph", action="store_true", help="print the module graph")
    arguments = parser.parse_args()

    faults = []
    edges = {}
    for path in program_files():
        own_layer = layer_of(os.path.dirname(path))
        module = module_of(path)
        edges.setdefault(module, set())
        for included in read_includes(path):
            target_layer = layer_of(os.path.dirname(included))
            if target_layer is None:
                faults.append(f"{path}: includes {included}, outside the layers")
                continue
            if target_layer < own_layer:
                faults.append(f"{path}: includes {included}, a layer up")
            if path.startswith("flatten/") and included.startswith("search/") and \
                    included != SEARCH_DOOR:
                faults.append(f"{path}: includes {included}, behind the search's door")
            target = module_of(included)
            if target != module:
                edges[module].add(target)

    for group in find_circles(edges):
        faults.append("a circle of modules: " + ", ".join(group))

    if arguments.graph:
        for module in sorted(edges):
            print(f"{module} -> {', '.join(sorted(edges[module])) or '(nothing)'}")
    for fault in faults:
        print(fault)
    layers = " > ".join("+".join(folders) for folders in LAYERS)
    print(f"{len(edges)} modules in {layers} ({', '.join(LEFT_OUT)} left out):",
          "layers hold" if not faults else f"{len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
