#!/usr/bin/env bash
# The sanitizer job of the portable core:
#   1. builds the core and native_tests with AddressSanitizer and
#      UndefinedBehaviorSanitizer (-fno-sanitize-recover=all) in build/asan,
#      with clang (g++ when there is no clang: then without fuzz targets);
#   2. runs the GoogleTest suite with LeakSanitizer on;
#   3. builds native_tests with ThreadSanitizer in build/tsan (clang only) and
#      runs it: a report of a data race fails the step;
#   4. builds the libFuzzer targets of tests/fuzz (KELMOR_FUZZ=ON) and runs
#      each for a bounded time from its seeds and kept corpus
#      (tests/fuzz/seeds, tests/fuzz/corpus), keeping new inputs in
#      build/asan/fuzz-corpus and any crashing input in build/asan/fuzz-artifacts.
# Prints one PASS/FAIL line per step and ends with
# "SUMMARY: N passed, N failed[, N skipped]"; exit code 1 when a step failed.
#
# Environment: KELMOR_JOBS (default 2), KELMOR_BUILD_DIR (default build),
# KELMOR_FUZZ_TIME seconds per target (default 15), KELMOR_FUZZ_RUNS (default
# 200000), KELMOR_SANITIZE_CXX to force a compiler (clang++ or g++).
set -uo pipefail

SRC="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${KELMOR_JOBS:-2}"
FUZZ_TIME="${KELMOR_FUZZ_TIME:-15}"
FUZZ_RUNS="${KELMOR_FUZZ_RUNS:-200000}"
source "$SRC/tools/asan-build.sh"
FUZZ_TARGETS=(fuzz_hostvalues fuzz_text fuzz_logformat fuzz_xmldoc fuzz_dispatch)

passed=0
failed=0
skipped=0
step() {  # PASS|FAIL|SKIPPED description
    echo "$1: $2"
    case "$1" in
        PASS) passed=$((passed + 1)) ;;
        FAIL) failed=$((failed + 1)) ;;
        *) skipped=$((skipped + 1)) ;;
    esac
}
finish() {
    if [[ $skipped -gt 0 ]]; then
        echo "SUMMARY: $passed passed, $failed failed, $skipped skipped"
    else
        echo "SUMMARY: $passed passed, $failed failed"
    fi
    [[ $failed -eq 0 ]]
    exit
}

cxx="${KELMOR_SANITIZE_CXX:-}"
if [[ -z "$cxx" ]]; then
    if command -v clang++ >/dev/null; then cxx=clang++; else cxx=g++; fi
fi
case "$cxx" in
    *clang++*) cc="${cxx/clang++/clang}" fuzz=1 BUILD="${KELMOR_BUILD_DIR:-$SRC/build}/asan" ;;
    *) cc="${cxx/g++/gcc}" fuzz=0 BUILD="${KELMOR_BUILD_DIR:-$SRC/build}/asan-gcc" ;;
esac
LOGS="$BUILD/logs"
# One run at a time per build folder (its corpus and logs included).
mkdir -p "$(dirname "$BUILD")"
exec 7>>"$BUILD.lock"
flock 7

echo "== sanitizer build ($cxx, $BUILD)"
start=$SECONDS
if ! kelmor_asan_configure "$SRC" "$BUILD" "$cc" "$cxx" "$([[ $fuzz == 1 ]] && echo ON || echo OFF)" ||
    ! cmake --build "$BUILD" -j "$JOBS"; then
    step FAIL "sanitizer build"
    finish
fi
mkdir -p "$LOGS"
echo "   built in $((SECONDS - start)) s"

# Any report ends the run with a non-zero exit code; leaks are reported.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

echo "== native tests under ASan, UBSan and LSan"
start=$SECONDS
if (cd "$BUILD/tests" && ./native_tests --gtest_brief=1) >"$LOGS/native-asan.log" 2>&1; then
    step PASS "native_tests under ASan+UBSan+LSan ($(grep -aE '^\[  PASSED  \]' "$LOGS/native-asan.log" | sed -E 's/^\[  PASSED  \] ([0-9]+) tests?.*/\1 tests/'), $((SECONDS - start)) s)"
else
    tail -n 60 "$LOGS/native-asan.log"
    step FAIL "native_tests under ASan+UBSan+LSan (log: $LOGS/native-asan.log)"
fi

# ThreadSanitizer, in a build of its own: the log file is written from any
# thread the host calls on, and only a race detector shows a missing lock
# (the system keeps each write whole, so the lines alone would not).
if [[ $fuzz == 1 ]]; then
    TSAN_BUILD="$(dirname "$BUILD")/tsan"
    TSAN_FLAGS="-fsanitize=thread -fno-omit-frame-pointer"
    echo "== native tests under TSan ($TSAN_BUILD)"
    start=$SECONDS
    # The static runtime defines the global operator new(nothrow) that one
    # test replaces to refuse an allocation: the runtime's is kept, and that
    # test (which runs in the other builds) is left out here.
    tsan_skip="EntryPoints.GetClassObjectDestroysTheObjectWhenTheRecordCannotBeAllocated"
    if ! cmake -S "$SRC" -B "$TSAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
            -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
            -DCMAKE_C_FLAGS="$TSAN_FLAGS" -DCMAKE_CXX_FLAGS="$TSAN_FLAGS" \
            -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread -Wl,--allow-multiple-definition" \
            -DKELMOR_FUZZ=OFF >/dev/null ||
        ! cmake --build "$TSAN_BUILD" -j "$JOBS" --target native_tests >"$LOGS/tsan-build.log" 2>&1; then
        tail -n 30 "$LOGS/tsan-build.log"
        step FAIL "TSan build (log: $LOGS/tsan-build.log)"
    elif (cd "$TSAN_BUILD/tests" &&
            TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
                ./native_tests --gtest_brief=1 --gtest_filter="-$tsan_skip") >"$LOGS/native-tsan.log" 2>&1; then
        step PASS "native_tests under TSan ($(grep -aE '^\[  PASSED  \]' "$LOGS/native-tsan.log" | sed -E 's/^\[  PASSED  \] ([0-9]+) tests?.*/\1 tests/'), $((SECONDS - start)) s)"
    else
        grep -aE -A 30 'WARNING: ThreadSanitizer|FAILED' "$LOGS/native-tsan.log" | head -n 60
        step FAIL "native_tests under TSan (log: $LOGS/native-tsan.log)"
    fi
else
    step SKIPPED "native_tests under TSan (needs clang)"
fi

for t in "${FUZZ_TARGETS[@]}"; do
    if [[ $fuzz != 1 ]]; then
        step SKIPPED "$t (libFuzzer needs clang)"
        continue
    fi
    echo "== fuzz $t (${FUZZ_TIME} s or ${FUZZ_RUNS} runs)"
    corpus="$BUILD/fuzz-corpus/$t"
    artifacts="$BUILD/fuzz-artifacts"
    mkdir -p "$corpus" "$artifacts"
    # Seeds: the hand-written ones and the corpus a campaign kept
    # (tools/fuzz-campaign.sh --merge).
    seeds=()
    for d in "$SRC/tests/fuzz/seeds/$t" "$SRC/tests/fuzz/corpus/$t"; do
        [[ -d "$d" ]] && seeds+=("$d")
    done
    start=$SECONDS
    # The first corpus folder takes the new inputs; the seeds stay as they are.
    timeout -k 10 $((FUZZ_TIME + 120)) "$BUILD/tests/fuzz/$t" -runs="$FUZZ_RUNS" -max_total_time="$FUZZ_TIME" \
        -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$t-" "$corpus" "${seeds[@]}" >"$LOGS/$t.log" 2>&1
    rc=$?
    runs="$(grep -aE '^stat::number_of_executed_units:' "$LOGS/$t.log" | awk '{print $2}')"
    cov="$(grep -aE '^#[0-9]+.*(DONE|cov:)' "$LOGS/$t.log" | tail -n 1 | grep -oE 'cov: [0-9]+' || true)"
    if [[ $rc -eq 0 ]]; then
        step PASS "$t (${runs:-?} runs, ${cov:-cov: ?}, $((SECONDS - start)) s)"
    else
        grep -avE '^#[0-9]+ +(NEW|REDUCE|pulse|INITED|RELOAD)|^\s+NEW_FUNC' "$LOGS/$t.log" | tail -n 40
        step FAIL "$t (exit code $rc; input kept as $(grep -aoE "$artifacts/[^ ]+" "$LOGS/$t.log" | tail -n 1); log: $LOGS/$t.log)"
    fi
done
finish
