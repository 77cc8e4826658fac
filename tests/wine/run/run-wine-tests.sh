#!/usr/bin/env bash
# Runs the Wine test suites for one arch and one Windows:
#   tests/wine/run/run-wine-tests.sh win64|win32|win32-i386 [BUILD_DIR]
#   win64       64-bit programs on 64-bit Windows
#   win32       32-bit programs on 64-bit Windows (WoW64), the usual till:
#               a 32-bit 1C client on 64-bit Windows
#   win32-i386  32-bit programs on pure 32-bit Windows (the i386 root)
# BUILD_DIR defaults to build/<arch> (build/win32 for both 32-bit runs). The programs of BUILD_DIR/wine-bin and
# the product DLL of dist/<arch> are copied into one folder, which is the
# working folder of every run. Each *.suite file of this folder is a bash
# fragment, sourced in name order, that runs its programs with
#   wine_suite NAME PROGRAM ARGS...   a program printing PASS/FAIL lines and
#                                     "SUMMARY: N passed, N failed"
#   wine_step NAME PROGRAM ARGS...    a preparing step: only its exit code counts
# and may use $ARCH (win64 or win32: the programs' bitness), $WINDOWS (win64
# or win32: the bitness of the Windows they run on), $STAGE (the working folder), $DRIVE_E (the folder behind
# drive E:), $PRODUCT_DLL (the product DLL's file name) and $SRC; a suite's
# own checks add to $PASSED, $FAILED and $SKIPPED.
# Ends with "SUMMARY: N passed, N failed[, N skipped]"; exit code 1 on failures.
set -uo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
SRC="$(cd "$HERE/../../.." && pwd)"
# shellcheck source=tools/wine-env.sh
source "$SRC/tools/wine-env.sh"

ARCH="${1:-}"
case "$ARCH" in
    win64 | win32) export KELMOR_WIN32_WINDOWS=wow64 ;;
    win32-i386) ARCH=win32; export KELMOR_WIN32_WINDOWS=i386 ;;
    *) echo "usage: $0 win64|win32|win32-i386 [BUILD_DIR]" >&2; exit 2 ;;
esac
WINDOWS="$(kelmor_wine_windows "$ARCH")"
export WINDOWS
BUILD_DIR="${2:-$SRC/build/$ARCH}"
PRODUCT_DLL=KelmorTarvik1CNative.dll
PASSED=0
FAILED=0
SKIPPED=0

finish() {
    if [[ $SKIPPED -gt 0 ]]; then
        echo "SUMMARY: $PASSED passed, $FAILED failed, $SKIPPED skipped"
    else
        echo "SUMMARY: $PASSED passed, $FAILED failed"
    fi
    [[ $FAILED -eq 0 ]]
    exit
}

if [[ "$ARCH" == win32 ]] && ! reason="$(kelmor_win32_ready)"; then
    if [[ "$WINDOWS" == win32 ]]; then
        echo "SKIPPED: i386 Wine tests ($reason)"
    else
        echo "SKIPPED: win32 Wine tests under WoW64 ($reason)"
    fi
    SKIPPED=1
    finish
fi
echo "== $ARCH programs on $(kelmor_wine_where "$ARCH")"
if ! kelmor_wine_init "$ARCH"; then
    echo "FAIL: the $ARCH Wine prefix could not be created"
    FAILED=1
    finish
fi

STAGE="$(mktemp -d "${TMPDIR:-/tmp}/kelmor-wine-$ARCH.XXXXXX")"
trap 'rm -rf "$STAGE"' EXIT
cp -a "$BUILD_DIR/wine-bin/." "$STAGE/" 2>/dev/null || echo "note: no Wine programs in $BUILD_DIR/wine-bin"
cp -a "$SRC/dist/$ARCH/$PRODUCT_DLL" "$STAGE/" 2>/dev/null || echo "note: no $SRC/dist/$ARCH/$PRODUCT_DLL"
# The support engineer's check ships next to the DLL.
cp -a "$SRC/dist/$ARCH/kelmorcheck.exe" "$STAGE/" 2>/dev/null || echo "note: no $SRC/dist/$ARCH/kelmorcheck.exe"
DRIVE_E="$(kelmor_wine_drive_e "$ARCH")"

clear_drive_e() { find "$DRIVE_E" -mindepth 1 -delete 2>/dev/null || true; }

wine_step() {
    local name="$1"
    shift
    echo "== [$ARCH] $name"
    if kelmor_wine_run "$ARCH" "$STAGE" "$@"; then
        echo "PASS: [$ARCH] $name"
        PASSED=$((PASSED + 1))
    else
        echo "FAIL: [$ARCH] $name (exit code $?)"
        FAILED=$((FAILED + 1))
    fi
}

wine_suite() {
    local name="$1" out rc=0 summary p f
    shift
    echo "== [$ARCH] $name"
    clear_drive_e
    out="$(mktemp)"
    kelmor_wine_run "$ARCH" "$STAGE" "$@" 2>&1 | tr -d '\r' | tee "$out"
    rc=${PIPESTATUS[0]}
    summary="$(grep -aE '^SUMMARY: [0-9]+ passed, [0-9]+ failed' "$out" | tail -n 1)"
    rm -f "$out"
    if [[ -z "$summary" ]]; then
        echo "FAIL: [$ARCH] $name ended without a summary (exit code $rc)"
        FAILED=$((FAILED + 1))
        return
    fi
    p="$(sed -E 's/^SUMMARY: ([0-9]+) passed.*/\1/' <<<"$summary")"
    f="$(sed -E 's/^SUMMARY: [0-9]+ passed, ([0-9]+) failed.*/\1/' <<<"$summary")"
    PASSED=$((PASSED + p))
    FAILED=$((FAILED + f))
    if [[ $rc -ne 0 && $f -eq 0 ]]; then
        echo "FAIL: [$ARCH] $name exited with code $rc"
        FAILED=$((FAILED + 1))
    fi
}

for suite in "$HERE"/*.suite; do
    [[ -f "$suite" ]] || continue
    # shellcheck source=/dev/null
    source "$suite"
done
kelmor_wine_wait "$ARCH"
finish
