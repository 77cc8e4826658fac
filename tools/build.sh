#!/usr/bin/env bash
# Configures and builds the library and its tests with Ninja:
#   native  build/native   Linux build of the core and the GoogleTest suite
#   win64   build/win64    x86-64 DLL -> dist/win64/KelmorTarvik1CNative.dll
#   win32   build/win32    i386 DLL   -> dist/win32/KelmorTarvik1CNative.dll
# plus, in the Windows builds, the Wine-side test programs (build/<arch>/wine-bin).
#
#   tools/build.sh [native] [win64] [win32]     (default: all three)
#
# Environment: KELMOR_JOBS (default 2), KELMOR_BUILD_DIR (default build).
set -euo pipefail

SRC="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${KELMOR_BUILD_DIR:-$SRC/build}"
JOBS="${KELMOR_JOBS:-2}"

targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(native win64 win32)

for t in "${targets[@]}"; do
    args=(-S "$SRC" -B "$BUILD/$t" -G Ninja)
    case "$t" in
        native) args+=(-DCMAKE_BUILD_TYPE=Debug) ;;
        win64) args+=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$SRC/cmake/mingw-w64-x86_64.cmake") ;;
        win32) args+=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$SRC/cmake/mingw-w64-i686.cmake") ;;
        *) echo "build: unknown target '$t' (native, win64, win32)" >&2; exit 2 ;;
    esac
    echo "== build $t ($BUILD/$t)"
    cmake "${args[@]}" >/dev/null
    cmake --build "$BUILD/$t" -j "$JOBS"
done
