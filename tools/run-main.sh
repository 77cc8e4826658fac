#!/usr/bin/env bash
# The main job: set up the machine, build the DLLs for x86-64 and i386
# (dist/win64, dist/win32) with their test programs, then load the x86-64 DLL
# in the host simulator under Wine and show what the host sees.
# Needs root on a machine that is not yet set up (apt-get, the i386 root).
set -euo pipefail

SRC="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=tools/wine-env.sh
source "$SRC/tools/wine-env.sh"

if [[ "${KELMOR_NO_SETUP:-0}" != 1 ]]; then
    echo "== set-up"
    "$SRC/tools/setup.sh"
fi
echo "== build"
"$SRC/tools/build.sh"
ls -l "$SRC"/dist/win64/*.dll "$SRC"/dist/win32/*.dll
if [[ -f "$SRC/tools/package.sh" ]]; then
    echo "== package"
    bash "$SRC/tools/package.sh"
    ls -l "$SRC"/dist/*.zip
fi

echo "== host simulator: x86-64 DLL under Wine"
stage="$(mktemp -d "${TMPDIR:-/tmp}/kelmor-main.XXXXXX")"
trap 'rm -rf "$stage"' EXIT
cp -a "$SRC/build/win64/wine-bin/." "$SRC/dist/win64/KelmorTarvik1CNative.dll" "$stage/"
kelmor_wine_run win64 "$stage" hostsim.exe describe KelmorTarvik1CNative.dll 2>&1 | tr -d '\r'
rc=${PIPESTATUS[0]}
kelmor_wine_wait win64
log="$(kelmor_wine_drive_e win64)/lll.txt"
if [[ -f "$log" ]]; then
    echo "== last lines of the add-in's log (e:\\lll.txt)"
    tail -n 5 "$log" | tr -d '\r'
fi
exit "$rc"
