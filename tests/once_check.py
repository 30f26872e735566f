#!/usr/bin/env python3
"""Checks on random include trees that tuflat --once keeps a unit's meaning.

    python3 tests/once_check.py [--tool build/tuflat] [--seed S] [--count N]
        [--case K] [--keep DIR] [--jobs J] [--stats] [--without SHAPE,...]

Each tree is a main.c, 3 to 12 headers in a few folders, one or two /I
directories and an option file. Every text line carries __COUNTER__ and
__LINE__ (`int v_h3_2[] = { __COUNTER__, __LINE__ };`), so a line lost,
doubled or moved shows. For every tree the tool runs with --once, with
--once --line-directives and, when no expanded file holds a `#pragma once` or
`_Pragma("once")`, with no flag. The original unit preprocessed by
`gcc -E -P` and by `clang -E -P` (with -I for the /I lines and -D for the /D
lines) must give the same text as the flattened file preprocessed by the same
compiler (with no -I or -D: it carries its definitions at its head), blank
lines dropped and blanks within lines collapsed. Without --line-directives the
__LINE__ values are masked; with it they count too. A tree whose original
does not preprocess is skipped, and counted. The flattened files lie in a
folder of their own, where no include name of the tree finds a file, and
Clang's front end (the one job `clang -E -P` runs) preprocesses a tree's
flattened files in one start, each alone, as separate runs would.

Case K of seed S is generated from random.Random(S * 1000003 + K), so
`--seed S --case K` runs it again alone. --keep DIR leaves each failing tree
in DIR (with --case, the tree whatever its result), with the flattened files
and a script that repeats the runs. --stats prints how many trees hold each
shape of the generator, and --without leaves shapes out (see --list-shapes).

The generator keeps clear of inputs where the compiler and a flattened file
differ for no fault of the tool: every file's bytes differ from every other's
(GCC takes byte-identical `#pragma once` files at different paths for one
file), no trigraph, no guard name a system header defines, no __FILE__, no
include cycle through a file that a compiler reads more than once (the tool
cuts a cycle where a file being expanded comes back; a compiler reads an
unguarded file again), no include that the compiler and the tool would
resolve to different files (the tool also searches the main source's
directory), no missing file outside a branch that both compilers skip, and no
#line inside a conditional block, a guard's own block with an #else branch or
text after it included (which `#line` the compiler took would then depend on
the block's condition, and no one `#line` written after the block could be
right both ways; the tool takes a #line in a skipped block all the same). A /D line is only ever tested with defined(), since
the tool writes `/DX` as `#define X` where a compiler's -DX means 1.
"""

import argparse
import collections
import concurrent.futures
import difflib
import os
import posixpath
import random
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_TOOL = os.path.join(os.path.dirname(HERE), "build", "tuflat")
OPTION_FILE = "opts.txt"
RUN_TIMEOUT_SECONDS = 60
DIFF_LINES = 14
REPORTED_CASES = 5
# The tool's expansions without a flag (every include, dead branches too)
# stay below this, so that no tree grows large.
EXPANSION_LIMIT = 250
# The flattened files go three folders down in a folder of their own, where no
# include name of a tree (they climb two folders at most) finds a file: an
# include the tool left in place must not be found from there.
OUT_DIR = "out/o/o"

FOLDERS = [".", "inc", "lib", "inc/sub", "src"]
INCLUDE_DIRECTORY_CHOICES = ["inc", "lib", "inc/sub"]
HEADER_NAMES = ["util.h", "core.h", "list.h", "io.h", "mem.h", "str.h", "types.h",
                "defs.h", "map.h", "node.h", "vec.h", "log.h", "base.hpp", "detail.inl"]
XMACRO_NAMES = ["colors.def", "ops.def", "fields.def"]
SOMEDEFS = ["USE_EXTRA", "HAVE_FEATURE"]
OTHERDEF = "OTHER_FEATURE"
COMPILERS = ["gcc", "clang"]

# Every shape the generator can write, with what it is. A tree holds several.
SHAPES = collections.OrderedDict([
    # How a header stands to being included again.
    ("guard_ifndef", "#ifndef G / #define G / ... / #endif"),
    ("guard_if_defined_paren", "#if !defined(G) guard"),
    ("guard_if_defined_bare", "#if !defined G guard"),
    ("guard_digraph", "%:ifndef G / %:define G / %:endif guard"),
    ("guard_with_else", "guard block with an #else branch (read on every later include)"),
    ("guard_text_after_endif", "text after the guard's #endif (read every time)"),
    ("guard_reserved_name", "guard named _X_H, __X_H or __X_H__"),
    ("guard_shared_name", "two different files with the same guard name"),
    ("guard_predefined_option", "a guard defined in advance by /D"),
    ("guard_defined_in_config", "a guard defined in advance by a config header"),
    ("guard_defined_in_main", "a guard defined in advance in main.c"),
    ("guard_undef_between", "#undef G between two includes of the file"),
    ("guard_push_pop_undef", "push_macro, #undef G, include, pop_macro"),
    ("guard_push_pop_first", "push_macro, the file's first include, pop_macro (G undefined again)"),
    ("pragma_once_top", "#pragma once at the top"),
    ("pragma_once_msc", "#pragma once under #ifdef _MSC_VER"),
    ("pragma_once_gnuc", "#pragma once under #ifdef __GNUC__"),
    ("pragma_once_clang", "#pragma once under #ifdef __clang__"),
    ("pragma_once_if0", "#pragma once under #if 0"),
    ("pragma_once_operator_line", "_Pragma(\"once\") alone on a line"),
    ("pragma_once_operator_midline", "_Pragma(\"once\") before text on a line"),
    ("pragma_once_and_guard", "a guard and #pragma once"),
    ("pragma_once_comment_tail", "#pragma once /* a comment running onto the next line */"),
    ("pragma_once_digraph", "%:pragma once"),
    ("no_once", "a header with neither guard nor #pragma once"),
    ("xmacro_header", "an unguarded x-macro header included with different X definitions"),
    # Conditional includes.
    ("cond_if0", "an #if 0 block"),
    ("cond_if1", "an #if 1 block"),
    ("cond_gnuc", "an #ifdef __GNUC__ block"),
    ("cond_msc", "an #ifdef _MSC_VER block"),
    ("cond_clang", "an #ifdef __clang__ block"),
    ("cond_somedef", "an #ifdef/#ifndef/#if defined() block on a name /D may define"),
    ("cond_else", "an #else branch"),
    ("cond_elif", "an #elif branch"),
    ("cond_nested", "a block inside a block"),
    ("somedef_defined", "a name tested by the blocks is defined by /D or a config header"),
    ("missing_in_dead_branch", "an include of a missing file in a branch both compilers skip"),
    ("include_in_conditional", "an include inside a conditional block"),
    # How an include line is written.
    ("include_spaced", "# include with blanks and tabs around the #"),
    ("include_digraph", "%:include \"x.h\""),
    ("include_comment_tail", "#include \"x.h\" // note  or  /* note */"),
    ("include_block_comment_tail", "#include \"x.h\" /* start + newline + end */"),
    ("include_backslash_tail", "#include \"x.h\" \\ + newline + more"),
    ("include_in_comment_continuation", "// note \\ + newline + #include \"x.h\" (a comment)"),
    ("include_twice", "the same header included twice in a row"),
    ("include_relative_path", "an include spelled with a folder or ../"),
    ("guarded_cycle", "an include back up a chain, cut by a guard or #pragma once"),
    ("shared_file_name", "two headers of the same name in different folders"),
    # Line ends and line numbers.
    ("lone_cr", "a CR alone as a line end in a header"),
    ("crlf", "CR LF line ends"),
    ("no_final_newline", "a file whose last line has no line end"),
    ("line_directive", "#line N, #line N \"name\" or # N \"name\" in a file"),
    # Other includes.
    ("no_expand_sys", "--no-expand 'sys_*.h' with the header found through /I"),
    ("angle_stddef", "#include <stddef.h>"),
])

GUARD_KINDS = ["guard_ifndef", "guard_if_defined_paren", "guard_if_defined_bare",
               "guard_digraph", "guard_with_else", "guard_text_after_endif"]
PRAGMA_KINDS = ["pragma_once_top", "pragma_once_msc", "pragma_once_gnuc", "pragma_once_clang",
                "pragma_once_if0", "pragma_once_operator_line", "pragma_once_operator_midline",
                "pragma_once_and_guard", "pragma_once_comment_tail", "pragma_once_digraph"]
ONCE_KIND_WEIGHTS = {
    "guard_ifndef": 6, "guard_if_defined_paren": 3, "guard_if_defined_bare": 3,
    "guard_digraph": 1, "guard_with_else": 1, "guard_text_after_endif": 1,
    "pragma_once_top": 5, "pragma_once_msc": 1, "pragma_once_gnuc": 1, "pragma_once_clang": 1,
    "pragma_once_if0": 1, "pragma_once_operator_line": 1, "pragma_once_operator_midline": 1,
    "pragma_once_and_guard": 2, "pragma_once_comment_tail": 1, "pragma_once_digraph": 1,
    "no_once": 4,
}
# The block around `#pragma once` for the kinds that put it in one.
PRAGMA_CONDITIONS = {"pragma_once_msc": "#ifdef _MSC_VER", "pragma_once_gnuc": "#ifdef __GNUC__",
                     "pragma_once_clang": "#ifdef __clang__", "pragma_once_if0": "#if 0"}
# Kinds whose file both compilers read once whatever the tree around it,
# unless its guard is shared or handled by main.c: a cycle of includes passes
# through such files only, so that every cycle ends, and ends where the tool
# cuts it.
ROBUST_KINDS = {"guard_ifndef", "guard_if_defined_paren", "guard_if_defined_bare",
                "guard_digraph", "pragma_once_top", "pragma_once_gnuc",
                "pragma_once_operator_line", "pragma_once_and_guard",
                "pragma_once_comment_tail", "pragma_once_digraph"}
# The guard kinds main.c may handle (define, undefine, push and pop).
PLAIN_GUARD_KINDS = {"guard_ifndef", "guard_if_defined_paren", "guard_if_defined_bare",
                     "guard_digraph"}


class SourceFile:
    """One file of a tree: its lines, their ends and the includes it holds."""

    def __init__(self, path, fid, header=None):
        self.path = path
        self.folder = posixpath.dirname(path) or "."
        self.fid = fid
        self.header = header
        # [text, end]: end None takes the file's line end.
        self.lines = []
        # Lines after which a lone CR may stand as the line end.
        self.cr_candidates = []
        self.counters = 0
        # Every file the tool follows from here, live, dead or in a comment.
        self.targets = []
        self.eol = "\n"
        self.final_newline = True

    def add(self, text, cr_ok=False):
        self.lines.append([text, None])
        if cr_ok:
            self.cr_candidates.append(len(self.lines) - 1)

    def counter_text(self):
        self.counters += 1
        return "int v_%s_%d[] = { __COUNTER__, __LINE__ };" % (self.fid, self.counters)

    def counter(self):
        self.add(self.counter_text(), cr_ok=True)

    def data(self):
        parts = []
        for index, (text, end) in enumerate(self.lines):
            last = index == len(self.lines) - 1
            if last and not self.final_newline:
                end = ""
            parts.append(text + (self.eol if end is None else end))
        return "".join(parts).encode("ascii")


class Header:
    def __init__(self, index, folder, name):
        self.index = index
        self.folder = folder
        self.name = name
        self.path = name if folder == "." else posixpath.join(folder, name)
        self.kind = "no_once"
        self.guard = None
        self.robust = False
        self.handled = False  # main.c defines, undefines, pushes or pops its guard
        self.xmacro = False
        self.source = None


class Tree:
    """A random include tree: files as bytes, the option file, the tool's
    extra flags and the shapes it holds."""

    def __init__(self, rng, without):
        self.rng = rng
        self.without = without
        self.shapes = collections.Counter()
        self.files = {}  # path -> SourceFile
        self.headers = []
        self.include_dirs = []
        self.defines = []  # (name, value or None)
        self.tool_flags = []
        self.sys_headers = []
        self.missing = 0
        self.xmacro_uses = 0
        self.config = None

    # --- choices -----------------------------------------------------------

    def chance(self, shape, probability):
        """True, with the given probability, unless the shape is left out."""
        return shape not in self.without and self.rng.random() < probability

    def note(self, shape):
        self.shapes[shape] += 1

    def pick_weighted(self, weights):
        items = [(k, w) for k, w in weights.items() if k not in self.without and w > 0]
        total = sum(w for _, w in items)
        roll = self.rng.random() * total
        for key, weight in items:
            roll -= weight
            if roll < 0:
                return key
        return items[-1][0]

    # --- names -------------------------------------------------------------

    def resolve(self, directories, name):
        for directory in directories:
            path = posixpath.normpath(posixpath.join(directory, name))
            if path in self.files:
                return path
        return None

    def spell(self, includer, target):
        """A name for `target` that the tool (includer's folder, main source's
        folder, /I) and the compilers (includer's folder, -I) both resolve to
        it; None when there is none."""
        base = posixpath.basename(target)
        candidates = [base, posixpath.relpath(target, includer.folder)]
        candidates += [posixpath.relpath(target, d) for d in ["."] + self.include_dirs]
        tool_dirs = [includer.folder, "."] + self.include_dirs
        compiler_dirs = [includer.folder] + self.include_dirs
        valid = []
        for name in candidates:
            if name not in valid and self.resolve(tool_dirs, name) == target \
                    and self.resolve(compiler_dirs, name) == target:
                valid.append(name)
        if not valid:
            return None
        if base in valid and self.rng.random() < 0.6:
            return base
        name = self.rng.choice(valid)
        if "/" in name:
            self.note("include_relative_path")
        return name

    # --- the tree ----------------------------------------------------------

    def build(self):
        rng = self.rng
        self.include_dirs = rng.sample(INCLUDE_DIRECTORY_CHOICES, rng.choice([1, 1, 2]))
        self.make_headers()
        self.choose_kinds()
        self.choose_guards()
        if self.chance("no_expand_sys", 0.2):
            self.make_sys_headers()
        self.choose_handled_guards()
        for header in self.headers:
            header.robust = (header.kind in ROBUST_KINDS and not header.handled
                             and not self.guard_shared(header))
        self.somedef = rng.choice(SOMEDEFS)
        if self.chance("somedef_defined", 0.4):
            self.note("somedef_defined")
            if self.config is not None and rng.random() < 0.5:
                self.config_defines.append(self.somedef)
            else:
                self.defines.append((self.somedef, rng.choice([None, "1"])))
        if rng.random() < 0.2:
            self.defines.append((OTHERDEF, None))
        for header in self.headers:
            if header is not self.config:
                self.write_header(header)
        if self.config is not None:
            self.write_config()
        self.write_main()
        self.line_ends()

    def make_headers(self):
        rng = self.rng
        count = rng.randint(3, 12)
        used = set()
        names = []
        for index in range(count):
            folder = rng.choice(FOLDERS)
            if names and self.chance("shared_file_name", 0.12):
                name = rng.choice(names)
            else:
                name = rng.choice(HEADER_NAMES)
            if (folder, name) in used:
                continue
            used.add((folder, name))
            names.append(name)
            self.headers.append(Header(len(self.headers), folder, name))
        by_name = collections.Counter(h.name for h in self.headers)
        if any(n > 1 for n in by_name.values()):
            self.note("shared_file_name")
        if self.chance("xmacro_header", 0.35):
            for _ in range(rng.choice([1, 1, 2])):
                folder = rng.choice(FOLDERS)
                name = rng.choice(XMACRO_NAMES)
                if (folder, name) in used:
                    continue
                used.add((folder, name))
                header = Header(len(self.headers), folder, name)
                header.xmacro = True
                self.headers.append(header)
        if self.chance("guard_defined_in_config", 0.3) or self.chance("somedef_defined", 0.1):
            folder = rng.choice([".", rng.choice(self.include_dirs)])
            if (folder, "config.h") not in used:
                # First in the order: it includes nothing.
                self.config = Header(-1, folder, "config.h")
                self.config.kind = "guard_ifndef"
                self.config_defines = []
                self.headers.insert(0, self.config)
                for index, header in enumerate(self.headers):
                    header.index = index
        for header in self.headers:
            fid = "h%d" % header.index
            header.source = SourceFile(header.path, fid, header)
            self.files[header.path] = header.source

    def choose_kinds(self):
        for header in self.headers:
            if header.xmacro:
                header.kind = "no_once"
                self.note("xmacro_header")
            elif header is not self.config:
                header.kind = self.pick_weighted(ONCE_KIND_WEIGHTS)

    def choose_guards(self):
        rng = self.rng
        guarded = [h for h in self.headers
                   if h.kind in GUARD_KINDS or h.kind == "pragma_once_and_guard"]
        taken = set()
        for header in guarded:
            stem = re.sub(r"[^A-Za-z0-9]", "_", header.name).upper()
            folder = header.folder.replace("/", "_").upper() + "_"
            if header.folder != "." and (rng.random() < 0.5 or stem in taken):
                stem = folder + stem
            if header is not self.config and self.chance("guard_reserved_name", 0.15):
                self.note("guard_reserved_name")
                stem = rng.choice(["_%s", "__%s", "__%s__"]) % stem
            # Names are shared only by the shape below.
            while stem in taken:
                stem += "_%d" % header.index
            taken.add(stem)
            header.guard = stem
        others = [h for h in guarded if h is not self.config]
        if len(others) >= 2 and self.chance("guard_shared_name", 0.25):
            first, second = rng.sample(others, 2)
            second.guard = first.guard
            self.note("guard_shared_name")

    def guard_shared(self, header):
        return header.guard is not None and any(
            h is not header and h.guard == header.guard for h in self.headers)

    def choose_handled_guards(self):
        """Guards that main.c or the option file define in advance, undefine,
        push or pop; each such shape is written later in main.c."""
        rng = self.rng
        self.main_snippets = []
        self.main_defines = []
        candidates = [h for h in self.headers
                      if h.kind in PLAIN_GUARD_KINDS and h is not self.config]
        shapes = [("guard_predefined_option", 0.15), ("guard_defined_in_config", 0.35),
                  ("guard_defined_in_main", 0.15), ("guard_undef_between", 0.3),
                  ("guard_push_pop_undef", 0.2), ("guard_push_pop_first", 0.25)]
        for shape, probability in shapes:
            if not candidates or not self.chance(shape, probability):
                continue
            if shape == "guard_defined_in_config" and self.config is None:
                continue
            header = rng.choice(candidates)
            header.handled = True
            self.note(shape)
            if shape == "guard_predefined_option":
                self.defines.append((header.guard, rng.choice([None, "1"])))
            elif shape == "guard_defined_in_config":
                self.config_defines.append(header.guard)
            elif shape == "guard_defined_in_main":
                self.main_defines.append(header.guard)
            else:
                self.main_snippets.append((shape, header))

    def make_sys_headers(self):
        self.note("no_expand_sys")
        self.tool_flags = ["--no-expand", "sys_*.h"]
        for index in range(self.rng.choice([1, 2])):
            path = "sys/sys_%s.h" % "ab"[index]
            source = SourceFile(path, "s%d" % index)
            source.add("/* %s, found through /Isys, never expanded */" % path)
            once = self.rng.choice(["guard", "pragma", "none"])
            guard = "SYS_%s_H" % "AB"[index]
            if once == "guard":
                source.add("#ifndef " + guard)
                source.add("#define " + guard)
            elif once == "pragma":
                source.add("#pragma once")
            for _ in range(self.rng.randint(1, 2)):
                source.counter()
            if once == "guard":
                source.add("#endif")
            self.files[path] = source
            self.sys_headers.append(source)

    # --- writing files -----------------------------------------------------

    def write_header(self, header):
        source = header.source
        source.add("/* %s */" % header.path)
        if header.xmacro:
            source.add("/* an x-macro list: no guard, read once per use */")
            for index in range(self.rng.randint(2, 4)):
                source.add("X(%s_%d)" % (source.fid, index + 1), cr_ok=True)
            return
        kind = header.kind
        self.note(kind)
        opening, closing = self.once_lines(header)
        for line in opening:
            if line is None:
                source.counter()
            else:
                source.add(line)
        source.counter()
        self.body(source, self.rng.randint(1, 5), depth=0, dead=False)
        for line in closing:
            if line is None:
                source.counter()
            else:
                source.add(line, cr_ok=line.endswith("endif"))

    def once_lines(self, header):
        """The lines before and after a header's body for its kind; None
        stands for a counter line."""
        kind, guard = header.kind, header.guard
        if kind == "guard_ifndef":
            return ["#ifndef " + guard, "#define " + guard], ["#endif"]
        if kind == "guard_if_defined_paren":
            return ["#if !defined(%s)" % guard, "#define " + guard], ["#endif"]
        if kind == "guard_if_defined_bare":
            return ["#if !defined " + guard, "#define %s 1" % guard], ["#endif /* %s */" % guard]
        if kind == "guard_digraph":
            return ["%:ifndef " + guard, "%:define " + guard], ["%:endif"]
        if kind == "guard_with_else":
            return ["#ifndef " + guard, "#define " + guard], ["#else", None, "#endif"]
        if kind == "guard_text_after_endif":
            return ["#ifndef " + guard, "#define " + guard], ["#endif", None]
        if kind == "pragma_once_top":
            return ["#pragma once"], []
        if kind in PRAGMA_CONDITIONS:
            return [PRAGMA_CONDITIONS[kind], "#pragma once", "#endif"], []
        if kind == "pragma_once_operator_line":
            return ['_Pragma("once")'], []
        if kind == "pragma_once_operator_midline":
            return ['_Pragma("once") ' + header.source.counter_text()], []
        if kind == "pragma_once_and_guard":
            if self.rng.random() < 0.5:
                return ["#pragma once", "#ifndef " + guard, "#define " + guard], ["#endif"]
            return ["#ifndef " + guard, "#define " + guard, "#pragma once"], ["#endif"]
        if kind == "pragma_once_comment_tail":
            return ["#pragma once /* two", "lines */"], []
        if kind == "pragma_once_digraph":
            return ["%:pragma once"], []
        return [], []

    def write_config(self):
        source = self.config.source
        guard = self.config.guard
        source.add("/* %s: definitions read before the rest */" % self.config.path)
        source.add("#ifndef " + guard)
        source.add("#define " + guard)
        for name in self.config_defines:
            source.add("#define " + name)
        source.counter()
        source.add("#endif", cr_ok=True)

    def body(self, source, count, depth, dead):
        """`count` random items: text, includes, blocks, x-macro uses."""
        weights = {"text": 3, "include": 5, "block": 2, "xmacro": 1, "line": 0.3,
                   "comment_include": 0.3}
        for _ in range(count):
            item = self.pick_weighted(weights)
            if item == "text":
                source.counter()
            elif item == "include":
                self.include_some(source, dead)
            elif item == "block" and depth < 2:
                self.block(source, depth, dead)
            elif item == "xmacro":
                self.use_xmacro(source)
            elif item == "line" and self.line_directive_fits(source, depth):
                self.line_directive(source)
            elif item == "comment_include" and self.chance("include_in_comment_continuation", 0.7):
                self.comment_continuation(source)
            else:
                source.counter()

    @staticmethod
    def reachable(start):
        """The files that `start` leads to through includes, itself included."""
        seen = {id(start): start}
        todo = [start]
        while todo:
            for header in todo.pop().targets:
                if id(header.source) not in seen:
                    seen[id(header.source)] = header.source
                    todo.append(header.source)
        return seen

    def cycle_through(self, source, header):
        """The files on the cycles an include of `header` in `source` would
        close (empty when it closes none)."""
        ahead = self.reachable(header.source)
        if id(source) not in ahead:
            return []
        return [f for f in ahead.values() if id(source) in self.reachable(f)]

    def edge_ok(self, source, header):
        """An include may close a cycle only if every file on it is read once
        by both compilers: then the compiler and the tool both stop at the
        first file met again. (The tool cuts a cycle where a file comes back
        that is being expanded; a compiler reads an unguarded file again.)"""
        return all(f.header is not None and f.header.robust
                   for f in self.cycle_through(source, header))

    def add_edge(self, source, header):
        if self.cycle_through(source, header):
            self.note("guarded_cycle")
        source.targets.append(header)

    def pick_target(self, source):
        """(header, name) of an include `source` may hold, or None: mostly a
        header later in the order, sometimes any, never an x-macro list or
        the config header (they have uses of their own)."""
        choices = [h for h in self.headers
                   if not h.xmacro and h is not self.config and self.edge_ok(source, h)]
        later = [h for h in choices if source.header is None or h.index > source.header.index]
        if later and self.rng.random() < 0.85:
            choices = later
        self.rng.shuffle(choices)
        for header in choices:
            name = self.spell(source, header.path)
            if name is not None:
                return header, name
        return None

    def include_some(self, source, dead):
        if self.sys_headers and self.rng.random() < 0.15:
            sys_header = self.rng.choice(self.sys_headers)
            source.add('#include "%s"' % posixpath.basename(sys_header.path), cr_ok=True)
            return
        if dead and self.chance("missing_in_dead_branch", 0.3):
            self.note("missing_in_dead_branch")
            self.missing += 1
            source.add('#include "missing_%d.h"' % self.missing)
            return
        picked = self.pick_target(source)
        if picked is None:
            source.counter()
            return
        self.include_line(source, *picked)

    def include_line(self, source, header, name):
        """An include line of one of the written forms."""
        rng = self.rng
        self.add_edge(source, header)
        forms = {"plain": 8, "include_spaced": 1, "include_digraph": 0.5,
                 "include_comment_tail": 1, "include_block_comment_tail": 0.6,
                 "include_backslash_tail": 0.6}
        form = self.pick_weighted(forms)
        if form != "plain":
            self.note(form)
        if form == "plain":
            source.add('#include "%s"' % name, cr_ok=True)
        elif form == "include_spaced":
            source.add(rng.choice(['  #  include "%s"', '#include\t"%s"  ', '\t# include "%s"',
                                   '#include  "%s"\t']) % name, cr_ok=True)
        elif form == "include_digraph":
            source.add('%%:include "%s"' % name, cr_ok=True)
        elif form == "include_comment_tail":
            source.add(rng.choice(['#include "%s" // note', '#include "%s" /* note */',
                                   '#include "%s"/* "q.h" */']) % name, cr_ok=True)
        elif form == "include_block_comment_tail":
            source.add('#include "%s" /* start' % name)
            source.add("end */", cr_ok=True)
        else:
            source.add('#include "%s" \\' % name)
            source.add(rng.choice(["more", "// more"]))

    def comment_continuation(self, source):
        """`// note \\` then an include line the compiler takes for comment;
        the tool must not follow it."""
        picked = self.pick_target(source)
        if picked is None:
            return
        header, name = picked
        self.note("include_in_comment_continuation")
        self.add_edge(source, header)
        source.add("// note \\")
        source.add('#include "%s"' % name)
        source.counter()

    def block(self, source, depth, dead):
        """A conditional block holding text and includes, maybe with #elif
        and #else branches, maybe nested."""
        rng = self.rng
        kinds = {"cond_if0": 2, "cond_if1": 1, "cond_gnuc": 2, "cond_msc": 1.5,
                 "cond_clang": 1.5, "cond_somedef": 3}
        kind = self.pick_weighted(kinds)
        self.note(kind)
        if depth > 0:
            self.note("cond_nested")
        # Whether the first branch is skipped by both compilers, and whether
        # the #else branch is; None when it depends on the compiler or tree.
        first_dead, else_dead = {
            "cond_if0": (True, False), "cond_if1": (False, True),
            "cond_gnuc": (False, True), "cond_msc": (True, False),
        }.get(kind, (None, None))
        if kind == "cond_if0":
            opening = "#if 0"
        elif kind == "cond_if1":
            opening = "#if 1"
        elif kind == "cond_gnuc":
            opening = rng.choice(["#ifdef __GNUC__", "#if defined(__GNUC__)"])
        elif kind == "cond_msc":
            opening = rng.choice(["#ifdef _MSC_VER", "#if defined _MSC_VER"])
        elif kind == "cond_clang":
            opening = "#ifdef __clang__"
        else:
            opening = rng.choice(["#ifdef %s", "#ifndef %s", "#if defined(%s)",
                                  "#if !defined %s"]) % self.somedef
        source.add(opening)
        self.branch(source, depth, dead or first_dead is True)
        if self.chance("cond_elif", 0.25):
            self.note("cond_elif")
            source.add("#elif defined(%s)" % OTHERDEF)
            # After an #elif only a branch skipped outright counts as dead.
            self.branch(source, depth, dead or else_dead is True)
            else_dead = dead or else_dead is True
        if self.chance("cond_else", 0.45):
            self.note("cond_else")
            source.add("#else", cr_ok=True)
            self.branch(source, depth, dead or else_dead is True)
        source.add("#endif", cr_ok=True)

    def branch(self, source, depth, dead):
        before = len(source.targets)
        self.body(source, self.rng.randint(1, 3), depth + 1, dead)
        if len(source.targets) > before:
            self.note("include_in_conditional")

    def use_xmacro(self, source, header=None):
        """#define X(n) ..., an include of an x-macro list, #undef X."""
        lists = [h for h in self.headers if h.xmacro]
        if header is None and lists:
            header = self.rng.choice(lists)
        name = None if header is None else self.spell(source, header.path)
        if name is None:
            source.counter()
            return
        self.xmacro_uses += 1
        use = self.xmacro_uses
        source.add("#define X(n) int x%d_##n[] = { __COUNTER__, __LINE__, %d };" % (use, use))
        self.add_edge(source, header)
        source.add('#include "%s"' % name, cr_ok=True)
        source.add("#undef X")

    def line_directive_fits(self, source, depth):
        """A #line stands only where it is read whenever the file's text
        after it is: outside the blocks of the body, and not in a guard block
        with an #else branch or text after its #endif. (In a block, whether
        the compiler takes it depends on the block's condition; no one `#line`
        written after the block's #endif could then be right both ways, and
        the tool takes a #line in a block the compiler skips all the same.)"""
        if depth > 0 or (source.header is not None and
                         source.header.kind in ("guard_text_after_endif", "guard_with_else")):
            return False
        return self.chance("line_directive", 0.7)

    def line_directive(self, source):
        self.note("line_directive")
        number = self.rng.randint(2, 4000)
        forms = ["#line %d", '#line %d "renamed_%s.h"', '# %d "renamed_%s.h"']
        form = self.rng.choice(forms)
        source.add(form % ((number, source.fid) if "%s" in form else number))

    def write_main(self):
        rng = self.rng
        source = SourceFile("main.c", "m")
        self.main = source
        self.files["main.c"] = source
        source.add("/* main.c */")
        if self.chance("angle_stddef", 0.1):
            self.note("angle_stddef")
            source.add("#include <stddef.h>")
        if self.config is not None:
            self.add_edge(source, self.config)
            source.add('#include "%s"' % self.spell(source, self.config.path), cr_ok=True)
        for guard in self.main_defines:
            source.add("#define " + guard)
        source.counter()
        pieces = [("body", None)] * rng.randint(2, 4) + self.main_snippets
        if self.chance("include_twice", 0.4):
            pieces.append(("include_twice", None))
        rng.shuffle(pieces)
        for shape, header in pieces:
            if shape == "body":
                self.body(source, rng.randint(1, 3), depth=0, dead=False)
            else:
                self.main_snippet(source, shape, header)
        # Every header is included somewhere, every x-macro list twice.
        uses = collections.Counter(id(t) for f in self.files.values() for t in f.targets)
        for header in self.headers:
            if header.xmacro:
                for _ in range(uses[id(header)], 2):
                    self.use_xmacro(source, header)
            elif uses[id(header)] == 0:
                name = self.spell(source, header.path)
                if name is not None:
                    self.include_line(source, header, name)
        source.counter()

    def main_snippet(self, source, shape, header):
        if shape == "include_twice":
            picked = self.pick_target(source)
            if picked is not None:
                self.note("include_twice")
                self.include_line(source, *picked)
                self.include_line(source, *picked)
            return
        name = self.spell(source, header.path)
        if name is None:
            return
        guard = header.guard

        def include():
            self.add_edge(source, header)
            source.add('#include "%s"' % name, cr_ok=True)

        if shape == "guard_undef_between":
            include()
            source.counter()
            source.add("#undef " + guard)
            include()
        elif shape == "guard_push_pop_undef":
            include()
            source.add('#pragma push_macro("%s")' % guard)
            source.add("#undef " + guard)
            include()
            source.add('#pragma pop_macro("%s")' % guard)
            include()
        elif shape == "guard_push_pop_first":
            source.add('#pragma push_macro("%s")' % guard)
            include()
            source.add('#pragma pop_macro("%s")' % guard)
            source.counter()
            include()
            include()
        source.counter()

    def line_ends(self):
        """CR LF, lone CRs and missing final line ends, each in a few files."""
        rng = self.rng
        for source in self.files.values():
            if self.chance("crlf", 0.08):
                self.note("crlf")
                source.eol = "\r\n"
            candidates = [at for at in source.cr_candidates if at < len(source.lines) - 1]
            if source.header is not None and candidates and self.chance("lone_cr", 0.04):
                self.note("lone_cr")
                source.lines[rng.choice(candidates)][1] = "\r"
            if self.chance("no_final_newline", 0.05):
                self.note("no_final_newline")
                source.final_newline = False

    # --- checks on the whole tree -------------------------------------------

    def tool_expansions(self):
        """How many files the tool expands with no flag: every include,
        followed wherever it stands, and cut only by a cycle."""
        total = 0
        stack = []

        def expand(source):
            nonlocal total
            total += 1
            if total > EXPANSION_LIMIT:
                return
            stack.append(source.path)
            for header in source.targets:
                if header.path not in stack:
                    expand(header.source)
            stack.pop()

        expand(self.main)
        return total

    def expanded_text(self):
        return b"".join(self.files[p].data() for p in self.files if not p.startswith("sys/"))

    def has_once_pragma(self):
        text = self.expanded_text()
        return b"pragma once" in text or b'_Pragma("once")' in text

    def option_text(self):
        lines = ["# generated by once_check.py"]
        lines += ["/I" + d for d in self.include_dirs]
        if self.sys_headers:
            lines.append("/Isys")
        for name, value in self.defines:
            lines.append("/D" + name + ("" if value is None else "=" + value))
        return ("\n".join(lines) + "\n").encode("ascii")

    def compiler_args(self):
        args = ["-I" + d for d in self.include_dirs]
        if self.sys_headers:
            args.append("-Isys")
        for name, value in self.defines:
            args.append("-D" + name + ("" if value is None else "=" + value))
        return args

    def write(self, root):
        for folder in FOLDERS + [OUT_DIR] + (["sys"] if self.sys_headers else []):
            os.makedirs(os.path.join(root, folder), exist_ok=True)
        for path, source in self.files.items():
            with open(os.path.join(root, path), "wb") as file:
                file.write(source.data())
        with open(os.path.join(root, OPTION_FILE), "wb") as file:
            file.write(self.option_text())


def generate(seed, case, without):
    rng = random.Random(seed * 1000003 + case)
    for _ in range(100):
        tree = Tree(rng, without)
        tree.build()
        if tree.tool_expansions() <= EXPANSION_LIMIT:
            return tree
    raise RuntimeError("no tree within the expansion limit for seed %d case %d" % (seed, case))


# --- running and comparing ---------------------------------------------------

def normalise(text, mask_lines):
    lines = []
    for line in text.splitlines():
        line = " ".join(line.split())
        if not line:
            continue
        if mask_lines:
            line = re.sub(r"\{ (\d+), \d+", r"{ \1, L", line)
        lines.append(line)
    return lines


def run(command, cwd):
    try:
        result = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                timeout=RUN_TIMEOUT_SECONDS)
    except subprocess.TimeoutExpired:
        return 124, b"", b"timed out"
    return result.returncode, result.stdout, result.stderr


def preprocess(compiler, args, source, cwd):
    return run([compiler, "-E", "-P", "-x", "c"] + args + [source], cwd)


SEPARATOR = "once_check_separator_between_files"
SEPARATOR_FILE = OUT_DIR + "/separator.c"


def clang_frontend_command():
    """The command `clang -E -P -x c FILE` runs for its one job, without FILE,
    or None. Clang's start costs most of a run; its front end given several
    inputs preprocesses each alone, with fresh macros and counters, as that
    many `clang -E -P` runs would."""
    root = tempfile.mkdtemp(prefix="once_check_")
    try:
        name = "once_check_input.c"
        open(os.path.join(root, name), "w").close()
        status, _, err = run(["clang", "-###", "-E", "-P", "-x", "c", name], root)
        jobs = [line for line in err.decode("latin-1").splitlines() if '"-cc1"' in line]
        if status != 0 or len(jobs) != 1:
            return None
        command = shlex.split(jobs[0])
        if command[-1] != name or "-E" not in command or "-P" not in command:
            return None
        return command[:-1]
    finally:
        shutil.rmtree(root, ignore_errors=True)


def preprocess_flattened(arguments, compiler, args, files, cwd):
    """[(status, stdout, stderr)] of each of `files`, preprocessed alone."""
    if compiler == "clang" and arguments.clang_frontend and len(files) > 1:
        inputs = []
        for path in files:
            inputs += [path, SEPARATOR_FILE]
        status, out, err = run(arguments.clang_frontend + args + inputs, cwd)
        parts = out.decode("latin-1").split(SEPARATOR)
        if status == 0 and len(parts) == len(files) + 1:
            return [(0, part.encode("latin-1"), b"") for part in parts[:-1]]
        # A file that does not preprocess: each alone, to tell which.
    return [preprocess(compiler, args, path, cwd) for path in files]


class Failure:
    def __init__(self, seed, case, mode, flags, compiler, what, detail):
        self.seed, self.case, self.mode, self.flags = seed, case, mode, flags
        self.compiler, self.what, self.detail = compiler, what, detail

    def describe(self):
        flags = " ".join(self.flags) or "(no flag)"
        head = "seed %d case %d, %s, %s: %s" % (self.seed, self.case, flags,
                                                   self.compiler or "tool", self.what)
        return head + ("\n" + self.detail if self.detail else "")


def short(data):
    text = data.decode("latin-1").strip().splitlines()
    return "\n".join("    " + line for line in text[:6])


def check_case(arguments, case):
    """Runs one tree. Returns (case, tree shapes, modes run, failures, skip reason)."""
    tree = generate(arguments.seed, case, arguments.without)
    modes = [("once", ["--once"]), ("once_lines", ["--once", "--line-directives"])]
    if not tree.has_once_pragma():
        modes.append(("default", []))
    failures = []
    skipped = None
    root = tempfile.mkdtemp(prefix="once_check_")
    try:
        tree.write(root)
        originals = {}
        for compiler in COMPILERS:
            status, out, err = preprocess(compiler, tree.compiler_args(), "main.c", root)
            if status != 0:
                skipped = "%s cannot preprocess the original:\n%s" % (compiler, short(err))
                break
            originals[compiler] = out.decode("latin-1")
        if skipped is None:
            failures = check_modes(arguments, tree, root, case, modes, originals)
        keep = arguments.keep and (failures or arguments.case is not None)
        if keep:
            keep_tree(arguments, tree, root, case, failures)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return case, tree.shapes, len(modes), failures, skipped


def check_modes(arguments, tree, root, case, modes, originals):
    """Flattens the tree in each mode and compares with each compiler."""
    failures = []
    flattened = []  # (flags, output)
    for mode, flags in modes:
        flags = flags + tree.tool_flags
        output = "%s/flat_%s.c" % (OUT_DIR, mode)
        status, out, err = run(arguments.tool + flags + [OPTION_FILE, "main.c", output], root)
        if status != 0:
            failures.append(Failure(arguments.seed, case, mode, flags, None,
                                    "tuflat exited with status %d" % status, short(err)))
        else:
            flattened.append((mode, flags, output))
    with open(os.path.join(root, SEPARATOR_FILE), "w") as file:
        file.write(SEPARATOR + "\n")
    flat_args = ["-I" + os.path.join(root, "sys")] if tree.sys_headers else []
    for compiler, original in originals.items():
        results = preprocess_flattened(arguments, compiler, flat_args,
                                       [output for _, _, output in flattened], root)
        for (mode, flags, output), (status, out, err) in zip(flattened, results):
            if status != 0:
                failures.append(Failure(arguments.seed, case, mode, flags, compiler,
                                        "the flattened file does not preprocess", short(err)))
                continue
            mask = "--line-directives" not in flags
            expected = normalise(original, mask)
            actual = normalise(out.decode("latin-1"), mask)
            if expected != actual:
                diff = list(difflib.unified_diff(expected, actual, "original", "flattened",
                                                 n=1, lineterm=""))
                detail = "\n".join("    " + line for line in diff[2:2 + DIFF_LINES])
                failures.append(Failure(arguments.seed, case, mode, flags, compiler,
                                        "the preprocessed texts differ", detail))
    return failures


REPEAT_SCRIPT = """#!/bin/bash
# Flattens main.c again in each mode and shows how the preprocessed texts
# differ, as once_check.py compared them (__LINE__ masked without
# --line-directives). Edit the tree and run it again to narrow a failure down.
cd "$(dirname "$0")" || exit 2
mkdir -p %(out)s
squeeze() { sed -E 's/[[:space:]]+/ /g; s/^ //; s/ $//; /^$/d'; }
mask() {
  if [[ $1 == *--line-directives* ]]; then cat; else sed -E 's/\\{ ([0-9]+), [0-9]+/{ \\1, L/'; fi
}
for cc in gcc clang; do
  $cc -E -P -x c %(compiler_args)s main.c | squeeze >%(out)s/original.$cc.i
  for mode in %(modes)s; do
    %(tool)s $mode %(flags)s %(options)s main.c %(out)s/flat.c >/dev/null
    $cc -E -P -x c %(flat_args)s %(out)s/flat.c | squeeze | mask "$mode" >%(out)s/flat.$cc.i
    echo "== $cc ${mode:-(no flag)}"
    mask "$mode" <%(out)s/original.$cc.i | diff - %(out)s/flat.$cc.i | head -20
  done
done
"""


def keep_tree(arguments, tree, root, case, failures):
    target = os.path.join(arguments.keep, "seed%d_case%d" % (arguments.seed, case))
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(root, target)
    with open(os.path.join(target, "shapes.txt"), "w") as file:
        for shape, count in sorted(tree.shapes.items()):
            file.write("%s %d\n" % (shape, count))
        for failure in failures:
            file.write("\n" + failure.describe() + "\n")
    compiler_args = " ".join(shlex.quote(a) for a in tree.compiler_args())
    flags = " ".join(shlex.quote(f) for f in tree.tool_flags)
    tool = " ".join(shlex.quote(t) for t in arguments.tool)
    modes = ["--once", "--once --line-directives"] + ([] if tree.has_once_pragma() else [""])
    with open(os.path.join(target, "repeat.sh"), "w") as file:
        file.write(REPEAT_SCRIPT % {
            "tool": tool, "flags": flags, "options": OPTION_FILE, "out": OUT_DIR,
            "compiler_args": compiler_args, "modes": " ".join(shlex.quote(m) for m in modes),
            "flat_args": "-I\"$PWD/sys\"" if tree.sys_headers else ""})
    os.chmod(os.path.join(target, "repeat.sh"), 0o755)


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tool", default=DEFAULT_TOOL,
                        help="the tuflat program (default: build/tuflat)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--count", type=int, default=500, help="the number of trees")
    parser.add_argument("--case", type=int, help="run only this case of the seed")
    parser.add_argument("--keep", metavar="DIR", help="leave failing trees in DIR")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--stats", action="store_true",
                        help="print how many trees hold each shape")
    parser.add_argument("--without", action="append", default=[], metavar="SHAPE[,SHAPE]",
                        help="leave these shapes out of the trees")
    parser.add_argument("--list-shapes", action="store_true", help="list the shapes and stop")
    parser.add_argument("--report", type=int, default=REPORTED_CASES,
                        help="how many failing trees to show (default %d)" % REPORTED_CASES)
    arguments = parser.parse_args()
    without = set()
    for item in arguments.without:
        without.update(s for s in item.split(",") if s)
    unknown = without - set(SHAPES)
    if unknown:
        parser.error("unknown shape(s): %s (see --list-shapes)" % ", ".join(sorted(unknown)))
    arguments.without = without
    return arguments


def main():
    arguments = parse_arguments()
    if arguments.list_shapes:
        for shape, what in SHAPES.items():
            print("%-32s %s" % (shape, what))
        return 0
    missing = [c for c in COMPILERS if shutil.which(c) is None]
    if missing:
        print("once_check: SKIPPED: it needs %s (Debian: gcc, clang)" % " and ".join(missing))
        return 0
    tool = shutil.which(arguments.tool)
    if tool is None:
        print("once_check: %s is no program" % arguments.tool, file=sys.stderr)
        return 2
    arguments.tool = [os.path.abspath(tool)]

    arguments.clang_frontend = clang_frontend_command()
    cases = [arguments.case] if arguments.case is not None else list(range(arguments.count))
    results = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, arguments.jobs)) as pool:
        for result in pool.map(lambda case: check_case(arguments, case), cases):
            results.append(result)

    shape_trees = collections.Counter()
    shape_failing = collections.Counter()
    failing = []
    skipped = []
    runs = 0
    mode_failures = collections.Counter()
    for case, shapes, modes, failures, skip in results:
        runs += modes
        for shape in shapes:
            shape_trees[shape] += 1
        if skip is not None:
            skipped.append((case, skip))
            continue
        if failures:
            failing.append((case, failures))
            for shape in shapes:
                shape_failing[shape] += 1
            for key in {(f.mode, f.compiler or "tuflat") for f in failures}:
                mode_failures[key] += 1

    if arguments.stats:
        print("shape                            trees  holding it")
        for shape in SHAPES:
            print("%-32s %5d  %s" % (shape, shape_trees[shape], SHAPES[shape]))
    for case, reason in skipped[:arguments.report]:
        print("skipped: seed %d case %d: %s" % (arguments.seed, case, reason))
    for case, failures in failing[:arguments.report]:
        print("FAILED: seed %d case %d (rerun: --seed %d --case %d)" % (
            arguments.seed, case, arguments.seed, case))
        for failure in failures[:3]:
            print("  " + failure.describe().replace("\n", "\n  "))
    if failing:
        print("failing trees by run (once: --once; once_lines: --once --line-directives;"
              " default: no flag):")
        for (mode, compiler), count in sorted(mode_failures.items()):
            print("  %-10s %-6s %d" % (mode, compiler, count))
        print("failing trees by shape, the 15 most often failing (failing/holding it;"
              " all trees: %d/%d):" % (
            len(failing), len(results) - len(skipped)))
        rates = sorted(shape_trees, key=lambda s: (-shape_failing[s] / shape_trees[s], s))
        for shape in rates[:15]:
            print("  %-32s %d/%d" % (shape, shape_failing[shape], shape_trees[shape]))
    print("once_check: %d trees, %d failures, %d skipped" % (len(results), len(failing),
                                                              len(skipped)))
    return 1 if failing else 0


if __name__ == "__main__":
    sys.exit(main())
