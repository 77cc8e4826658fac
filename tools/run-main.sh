#!/usr/bin/env bash
# The main job: set up the machine, build the DLLs for x86-64 and i386
# (dist/win64, dist/win32) with their test programs, then play a short till
# session under Wine: the host simulator loads the x86-64 DLL as the host
# does, with the fiscal driver's test double registered as the installed
# driver, prints each call and its answers and the add-in's log; then the
# same host without a driver. Last, the support engineer's check
# kelmorcheck.exe looks at the same till twice: with the driver's test double
# registered (exit code 0) and without it (exit code 1).
# Needs root on a machine that is not yet set up (apt-get, the i386 root);
# started by another user, it goes on through sudo (tools/as-root.sh).
set -euo pipefail

SRC="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=tools/as-root.sh
source "$SRC/tools/as-root.sh"
kelmor_as_root "${BASH_SOURCE[0]}" "$@"
# shellcheck source=tools/wine-env.sh
source "$SRC/tools/wine-env.sh"

if [[ "${KELMOR_NO_SETUP:-0}" != 1 ]]; then
    echo "== set-up"
    "$SRC/tools/setup.sh"
fi
echo "== build"
"$SRC/tools/build.sh"
ls -l "$SRC"/dist/win64/*.dll "$SRC"/dist/win32/*.dll "$SRC"/dist/win64/*.exe "$SRC"/dist/win32/*.exe
if [[ -f "$SRC/tools/package.sh" ]]; then
    echo "== package"
    bash "$SRC/tools/package.sh"
    ls -l "$SRC"/dist/*.zip
fi

stage="$(mktemp -d "${TMPDIR:-/tmp}/kelmor-main.XXXXXX")"
trap 'rm -rf "$stage"' EXIT
cp -a "${KELMOR_BUILD_DIR:-$SRC/build}/win64/wine-bin/." "$SRC/dist/win64/KelmorTarvik1CNative.dll" \
    "$SRC/dist/win64/kelmorcheck.exe" "$stage/"
rc=0
demo() {  # title installed|missing
    echo
    echo "== demo: $1 (x86-64 DLL in the host simulator under Wine)"
    kelmor_wine_run win64 "$stage" hostsim.exe demo KelmorTarvik1CNative.dll fakedriver.dll "$2" 2>&1 |
        tr -d '\r' || rc=1
}
demo "a till session with the fiscal driver installed" installed
demo "the same host without a fiscal driver" missing

check() {  # title expected-exit-code
    local code=0
    echo
    echo "== kelmorcheck: $1 (x86-64 kelmorcheck.exe under Wine, expected exit code $2)"
    kelmor_wine_run win64 "$stage" kelmorcheck.exe >"$stage/kelmorcheck.out" 2>&1 || code=$?
    tr -d '\r' <"$stage/kelmorcheck.out"
    echo "(exit code $code)"
    [[ $code -eq $2 ]] || rc=1
}
kelmor_wine_run win64 "$stage" regsvr32 /s fakedriver.dll || rc=1
check "the till with the fiscal driver's test double registered" 0
kelmor_wine_run win64 "$stage" regsvr32 /s /u fakedriver.dll || rc=1
check "the same till without a fiscal driver" 1
kelmor_wine_wait win64
exit "$rc"
