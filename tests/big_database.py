#!/usr/bin/env python3
"""A compilation database of several hundred MB, read by the tool.

    tests/big_database.py --tool "wine build-windows/tuflat.exe" --dir DIR
    tests/big_database.py --write-only --dir DIR [--megabytes 400]

Writes DIR/src/main.c, the headers it includes, and DIR/compile_commands.json:
about MEGABYTES of entries with long argument lists, a few of them for other
files named main.c, and the one entry that compiles DIR/src/main.c last. Then
runs `TOOL -p compile_commands.json src/main.c -o out.c` in DIR and checks
that the progress account lists that entry's include directories, in order,
and no other entry's, and that the output holds the header found through
them. The reader keeps only one entry in memory, so a 32-bit build reads the
database as easily as a small one.

Says SKIPPED, and passes, when the tool's help does not mention
--compile-commands. The database is removed afterwards unless --keep is given
(--write-only keeps it and prints its path).
"""
import argparse
import json
import os
import shlex
import subprocess
import sys

# The directories of the entry that compiles main.c; right.h is in the second.
RIGHT_INCLUDES = ["include/first", "include/second", "include/third"]


def decoy_entry(index, build):
    """An entry for another file, with an argument list of about 4 KB."""
    name = f"../src/unit_{index}.c"
    arguments = ["/usr/bin/cc"]
    for k in range(40):
        arguments += ["-I", f"../decoy/include-{index}-{k}/with/a/deeper/path"]
    arguments += [f"-DDECOY_{index}_{k}=value_{k}" for k in range(30)]
    arguments += ["-O2", "-g", "-c", name, "-o", f"unit_{index}.o"]
    return {"directory": build, "file": name, "arguments": arguments, "output": f"unit_{index}.o"}


def other_main_entry(index, build):
    """An entry for a main.c elsewhere, which exists nowhere: it passes the
    name check and fails the identity check."""
    return {
        "directory": build,
        "command": f"cc -I../decoy/other-{index} -c ../other-{index}/main.c",
        "file": f"../other-{index}/main.c",
    }


def right_entry(build):
    arguments = ["cc"]
    for directory in RIGHT_INCLUDES:
        arguments.append("-I../" + directory)
    arguments += ["-DRIGHT=1", "-c", "../src/main.c", "-o", "main.o"]
    return {"directory": build, "arguments": arguments, "file": "../src/main.c"}


def write_tree(directory, megabytes):
    """Writes the sources and the database; returns the database's path."""
    build = os.path.join(directory, "build")
    os.makedirs(build, exist_ok=True)
    os.makedirs(os.path.join(directory, "src"), exist_ok=True)
    for include in RIGHT_INCLUDES:
        os.makedirs(os.path.join(directory, include), exist_ok=True)
    with open(os.path.join(directory, "src", "main.c"), "w") as source:
        source.write('#include "right.h"\nint main(void) { return RIGHT_VALUE; }\n')
    with open(os.path.join(directory, RIGHT_INCLUDES[1], "right.h"), "w") as header:
        header.write("#define RIGHT_VALUE 0 /* found through the right entry */\n")
    path = os.path.join(directory, "compile_commands.json")
    limit = megabytes * 1024 * 1024
    with open(path, "w") as database:
        database.write("[\n")
        written = 2
        index = 0
        while written < limit:
            entry = other_main_entry(index, build) if index % 5000 == 0 else decoy_entry(index, build)
            text = json.dumps(entry, indent=2) + ",\n"
            database.write(text)
            written += len(text)
            index += 1
        database.write(json.dumps(right_entry(build), indent=2) + "\n]\n")
    return path


def tool_offers_database(tool):
    result = subprocess.run(tool + ["--help"], capture_output=True, text=True)
    return "--compile-commands" in result.stdout + result.stderr


def check_run(tool, directory):
    """Runs the tool on the database; returns the list of what went wrong."""
    result = subprocess.run(
        tool + ["-p", "compile_commands.json", "src/main.c", "-o", "out.c"],
        cwd=directory, capture_output=True)
    account = result.stdout.decode("latin-1").replace("\r\n", "\n").split("\n")
    faults = []
    if result.returncode != 0:
        faults.append(f"status {result.returncode}: {result.stderr.decode('latin-1')}")
    shown = [line for line in account if line.startswith("<") and line.endswith(">")]
    found = []
    for include in RIGHT_INCLUDES:
        tail = "\\" + include.replace("/", "\\") + ">"
        found.append(next((i for i, line in enumerate(shown) if line.endswith(tail)), None))
        if found[-1] is None:
            faults.append(f"the account does not list the directory {include}")
    if None not in found and found != sorted(found):
        faults.append("the account lists the entry's directories out of order")
    if any("decoy" in line for line in account):
        faults.append("the account lists a directory of another entry")
    output = os.path.join(directory, "out.c")
    if not os.path.exists(output) or "found through the right entry" not in open(output).read():
        faults.append("the output does not hold the header found through the entry")
    return faults


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--tool", help="the command that runs tuflat")
    parser.add_argument("--dir", required=True, help="where the files go")
    parser.add_argument("--megabytes", type=int, default=400)
    parser.add_argument("--keep", action="store_true", help="leave the database in place")
    parser.add_argument("--write-only", action="store_true", help="write the files, run nothing")
    arguments = parser.parse_args()
    directory = os.path.abspath(arguments.dir)
    if arguments.write_only:
        print(write_tree(directory, arguments.megabytes))
        return 0
    if not arguments.tool:
        parser.error("--tool is needed unless --write-only is given")
    tool = shlex.split(arguments.tool)
    if not tool_offers_database(tool):
        print("big_database: SKIPPED: the tool does not offer --compile-commands")
        return 0
    path = write_tree(directory, arguments.megabytes)
    try:
        faults = check_run(tool, directory)
    finally:
        if not arguments.keep:
            os.remove(path)
    for fault in faults:
        print("big_database: " + fault)
    print("big_database: " + ("FAILED" if faults else "passed"))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
