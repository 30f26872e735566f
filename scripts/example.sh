#!/usr/bin/env bash
# Builds tuflat and flattens the bundled example into build/hello.flat.c.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build" -j2 >/dev/null
cd "$root/examples/hello"
"$root/build/tuflat" options.txt main.c "$root/build/hello.flat.c"
echo "flattened into $root/build/hello.flat.c"
