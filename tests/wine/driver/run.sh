#!/usr/bin/env bash
# Runs driver_wine_test.exe (the driver adapter against the fiscal driver's
# test double) under Wine:
#
#   tests/wine/driver/run.sh [win64|win32|all] [BUILD_ROOT]
#
# BUILD_ROOT (default build) holds <arch>/wine-bin with driver_wine_test.exe
# and fakedriver.dll, as tools/build.sh leaves them. The program registers the
# double itself and unregisters it when done. Each run ends with
# "SUMMARY: N passed, N failed"; the exit code is 1 when an arch failed.
set -uo pipefail

SRC="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
which="${1:-all}"
root="${2:-$SRC/build}"
case "$which" in
    all) arches=(win64 win32) ;;
    win64 | win32) arches=("$which") ;;
    *) echo "usage: $0 [win64|win32|all] [BUILD_ROOT]" >&2; exit 2 ;;
esac

rc=0
for arch in "${arches[@]}"; do
    exe="$root/$arch/wine-bin/driver_wine_test.exe"
    echo "== [$arch] driver adapter against the test double"
    if [[ ! -f "$exe" || ! -f "$(dirname "$exe")/fakedriver.dll" ]]; then
        echo "FAIL: [$arch] $exe or fakedriver.dll not built"
        rc=1
        continue
    fi
    "$SRC/tools/wine-run.sh" "$arch" "$exe" 2>&1 | tr -d '\r'
    code=${PIPESTATUS[0]}
    if [[ $code -eq 125 ]]; then
        echo "SKIPPED: [$arch] no Wine for this arch here"
    elif [[ $code -ne 0 ]]; then
        rc=1
    fi
done
exit "$rc"
