#!/usr/bin/env bash
# Rewrites the method table of README.md (between <!-- methods:begin --> and
# <!-- methods:end -->) from the component's method table in
# component/methodtable.cpp. Builds the small native program readme_methods
# first. The native test ReadmeTest.TheMethodTableIsTheOneTheCodeGenerates
# fails until the README holds what this writes.
#
#   tools/update-readme-methods.sh
#
# Environment: KELMOR_BUILD_DIR (default build), KELMOR_JOBS (default 2).
set -euo pipefail

SRC="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${KELMOR_BUILD_DIR:-$SRC/build}/native"
JOBS="${KELMOR_JOBS:-2}"

if [[ ! -f "$BUILD/CMakeCache.txt" ]]; then
    cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi
cmake --build "$BUILD" -j "$JOBS" --target readme_methods >/dev/null
"$BUILD/tests/readme_methods" "$SRC/README.md"
