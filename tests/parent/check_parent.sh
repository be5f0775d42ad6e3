#!/usr/bin/env bash
# Configures, builds and runs tests/parent, a project that adds this one with add_subdirectory and links
# cjcore (BUILT_CORE, when given, in place of compiling it again). The build folder is kept between runs
# so the next run only checks and relinks.
# Usage: check_parent.sh CMAKE BUILD_FOLDER [CXX_COMPILER [BUILT_CORE]]
set -euo pipefail
cmake=$1 build=$2 compiler=${3:-} core=${4:-}
here=$(cd "$(dirname "$0")" && pwd)

options=(-DCMAKE_BUILD_TYPE=Release -DCJPARENT_BUILT_CORE="$core")
[ -n "$compiler" ] && options+=(-DCMAKE_CXX_COMPILER="$compiler")
command -v ninja >/dev/null && [ ! -f "$build/CMakeCache.txt" ] && options+=(-G Ninja)
mkdir -p "$build"
"$cmake" -S "$here" -B "$build" "${options[@]}" >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log" >&2; echo "FAIL: the parent project does not configure" >&2; exit 1; }
"$cmake" --build "$build" --target cjparent ||
    { echo "FAIL: the parent project does not build" >&2; exit 1; }
"$build/cjparent"
