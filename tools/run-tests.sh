#!/usr/bin/env bash
# The whole test run: machine set-up, the three builds, the native GoogleTest
# suite (CTest), the checks of the set-up and run scripts themselves
# (tests/tools), the sanitizer job (tools/run-sanitizers.sh), the checks of
# the built DLLs, and the Wine tests: win64, win32 on 64-bit Windows (WoW64)
# and win32 on pure 32-bit Windows (the i386 root). Ends with
# "N passed, N failed[, N skipped]"; exit code 1 when anything failed. Needs
# root on a machine that is not yet set up; started by another user, it goes
# on through sudo (tools/as-root.sh).
#
# Environment: KELMOR_NO_SETUP=1 skips the set-up step.
set -uo pipefail

SRC="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=tools/as-root.sh
source "$SRC/tools/as-root.sh"
kelmor_as_root "${BASH_SOURCE[0]}" "$@"
cd "$SRC" || exit 1
PASSED=0
FAILED=0
SKIPPED=0
LOG_DIR="$SRC/build/test-logs"

summary() {
    echo
    echo "== summary"
    if [[ $SKIPPED -gt 0 ]]; then
        echo "$PASSED passed, $FAILED failed, $SKIPPED skipped"
    else
        echo "$PASSED passed, $FAILED failed"
    fi
    [[ $FAILED -eq 0 ]]
    exit
}

# Adds the counts of the last "SUMMARY: N passed, N failed[, N skipped]"
# line of a file; a missing line counts as one failure.
add_summary() {  # file what
    local line
    line="$(grep -aE '^SUMMARY: [0-9]+ passed, [0-9]+ failed' "$1" | tail -n 1)"
    if [[ -z "$line" ]]; then
        echo "FAIL: $2 printed no summary"
        FAILED=$((FAILED + 1))
        return
    fi
    PASSED=$((PASSED + $(sed -E 's/^SUMMARY: ([0-9]+) passed.*/\1/' <<<"$line")))
    FAILED=$((FAILED + $(sed -E 's/^SUMMARY: [0-9]+ passed, ([0-9]+) failed.*/\1/' <<<"$line")))
    if [[ "$line" =~ ([0-9]+)\ skipped ]]; then
        SKIPPED=$((SKIPPED + BASH_REMATCH[1]))
    fi
}

if [[ "${KELMOR_NO_SETUP:-0}" != 1 ]]; then
    echo "== set-up"
    if ! "$SRC/tools/setup.sh"; then
        echo "FAIL: machine set-up"
        FAILED=$((FAILED + 1))
        summary
    fi
fi

echo "== build"
if ! "$SRC/tools/build.sh"; then
    echo "FAIL: build"
    FAILED=$((FAILED + 1))
    summary
fi
mkdir -p "$LOG_DIR"

echo "== native tests"
junit="$LOG_DIR/native-junit.xml"
rm -f "$junit"
ctest --test-dir "$SRC/build/native" -j 2 --timeout 300 --output-on-failure --output-junit "$junit" \
    >"$LOG_DIR/native.log" 2>&1
ctest_rc=$?
grep -avE '^ *([0-9]+/[0-9]+ Test +#[0-9]+: .* Passed|Start +[0-9]+: )' "$LOG_DIR/native.log" | tail -n 60
if [[ -f "$junit" ]]; then
    read -r t f s < <(python3 - "$junit" <<'PY'
import sys
import xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
suites = [root] if root.tag == "testsuite" else root.findall("testsuite")
t = f = s = 0
for suite in suites:
    for case in suite.iter("testcase"):
        t += 1
        status = case.get("status", "")
        if case.find("failure") is not None or case.find("error") is not None or status == "fail":
            f += 1
        elif case.find("skipped") is not None or status in ("notrun", "disabled"):
            s += 1
print(t, f, s)
PY
    )
    echo "SUMMARY: $((t - f - s)) passed, $f failed, $s skipped" >"$LOG_DIR/native.summary"
    if [[ $ctest_rc -ne 0 && $f -eq 0 ]]; then
        echo "SUMMARY: $((t - f - s)) passed, 1 failed, $s skipped" >"$LOG_DIR/native.summary"
    fi
    cat "$LOG_DIR/native.summary"
    add_summary "$LOG_DIR/native.summary" "native tests"
else
    echo "FAIL: ctest wrote no results (exit code $ctest_rc)"
    FAILED=$((FAILED + 1))
fi

echo "== set-up and run scripts"
bash "$SRC/tests/tools/run-tools-tests.sh" 2>&1 | tee "$LOG_DIR/tools.log"
add_summary "$LOG_DIR/tools.log" "set-up and run script checks"

echo "== sanitizers and fuzz targets"
bash "$SRC/tools/run-sanitizers.sh" 2>&1 | tee "$LOG_DIR/sanitizers.log"
add_summary "$LOG_DIR/sanitizers.log" "sanitizer job"

echo "== DLL checks"
"$SRC/tools/check-dll.sh" "$SRC/dist/win64/KelmorTarvik1CNative.dll" "$SRC/dist/win32/KelmorTarvik1CNative.dll" \
    "$SRC/dist/win64/kelmorcheck.exe" "$SRC/dist/win32/kelmorcheck.exe" | tee "$LOG_DIR/dll-checks.log"
add_summary "$LOG_DIR/dll-checks.log" "DLL checks"

if [[ -f "$SRC/tools/package.sh" && -f "$SRC/tools/check-package.sh" ]]; then
    echo "== package"
    if bash "$SRC/tools/package.sh" >"$LOG_DIR/package.log" 2>&1; then
        bash "$SRC/tools/check-package.sh" 2>&1 | tee "$LOG_DIR/package-checks.log"
        add_summary "$LOG_DIR/package-checks.log" "package checks"
    else
        cat "$LOG_DIR/package.log"
        echo "FAIL: tools/package.sh"
        FAILED=$((FAILED + 1))
    fi
fi

# win32 twice: on 64-bit Windows (WoW64), the usual till, and on pure 32-bit
# Windows (the i386 root).
for target in win64 win32 win32-i386; do
    echo "== Wine tests ($target)"
    "$SRC/tests/wine/run/run-wine-tests.sh" "$target" "$SRC/build/${target%-i386}" 2>&1 | tee "$LOG_DIR/wine-$target.log"
    add_summary "$LOG_DIR/wine-$target.log" "Wine tests ($target)"
done
grep -ah '^SKIPPED:' "$LOG_DIR"/wine-*.log 2>/dev/null | sed 's/^/!!! /'

summary
