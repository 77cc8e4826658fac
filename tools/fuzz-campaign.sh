#!/usr/bin/env bash
# A fuzz campaign: builds the libFuzzer targets of tests/fuzz (clang, ASan and
# UBSan, as the sanitizer job builds them) and runs every target, one after
# another, for a given time or number of executions, starting from its seeds
# and its kept corpus. Prints for each target its executions, executions per
# second, coverage (cov, ft), corpus size and the result; ends with a table of
# all targets. With --merge, each target's kept corpus (tests/fuzz/corpus/<target>)
# is replaced by the minimal set (-merge=1) of the kept corpus and what the run
# found that adds coverage beyond the seeds.
#
#   tools/fuzz-campaign.sh [--time SECONDS | --runs N] [--workers N] [--merge] [TARGET...]
#
# Default: every fuzz_*.cpp target, 600 seconds each. --runs sets a number of
# executions instead (no time limit). --workers runs that many fuzzing
# processes of a target side by side on one corpus folder (each picks up what
# the others find); --runs is then the total, shared out among them, and the
# executions printed are their sum. Crashing inputs go to
# <build>/campaign/artifacts, the logs to <build>/campaign/logs.
# Exit code 1 when a target found a fault.
#
# Environment: KELMOR_JOBS (default 2), KELMOR_BUILD_DIR (default build; the
# campaign builds in <build>/fuzz so that it never holds the sanitizer job's
# build folder).
set -uo pipefail

SRC="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${KELMOR_JOBS:-2}"
BUILD="${KELMOR_BUILD_DIR:-$SRC/build}/fuzz"
source "$SRC/tools/asan-build.sh"

time_limit=600
runs=""
merge=0
workers=1
targets=()
while [[ $# -gt 0 ]]; do
    case "$1" in
        --time) time_limit="$2"; runs=""; shift 2 ;;
        --runs) runs="$2"; time_limit=""; shift 2 ;;
        --merge) merge=1; shift ;;
        --workers) workers="$2"; shift 2 ;;
        -h|--help) sed -n '2,22p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "fuzz-campaign: unknown option $1" >&2; exit 2 ;;
        *) targets+=("$1"); shift ;;
    esac
done
if [[ ${#targets[@]} -eq 0 ]]; then
    for f in "$SRC"/tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
[[ "$workers" =~ ^[1-9][0-9]*$ ]] || { echo "fuzz-campaign: --workers takes a positive number" >&2; exit 2; }
command -v clang++ >/dev/null || { echo "fuzz-campaign: clang++ is needed (libFuzzer)" >&2; exit 2; }

echo "== build ($BUILD)"
mkdir -p "$BUILD"
exec 7>>"$BUILD.lock"
flock 7
if ! kelmor_asan_configure "$SRC" "$BUILD" clang clang++ ON ||
    ! cmake --build "$BUILD" -j "$JOBS" --target "${targets[@]}"; then
    echo "fuzz-campaign: build failed" >&2
    exit 1
fi

OUT="$BUILD/campaign"
LOGS="$OUT/logs"
ARTIFACTS="$OUT/artifacts"
mkdir -p "$LOGS" "$ARTIFACTS"
# A smaller fake stack for the use-after-return check: the check stays on,
# but ASan no longer sweeps a large fake stack after every thrown exception,
# which took a fifth of the dispatch target's time.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1:max_uar_stack_size_log=16"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

limits=()
if [[ -n "$runs" ]]; then
    limits=(-runs="$(((runs + workers - 1) / workers))")
else
    limits=(-max_total_time="$time_limit")
fi

# Figures of a finished run, from its final stats and its last status line.
stat() { grep -aE "^stat::$2:" "$1" | awk '{print $2}' | tail -n 1; }
last_status() { grep -aE '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$1" | tail -n 1; }
field() { sed -nE "s/.* $2: ([^ ]+).*/\1/p" <<<"$1"; }

rows=()
failed=0
for t in "${targets[@]}"; do
    exe="$BUILD/tests/fuzz/$t"
    [[ -x "$exe" ]] || { echo "fuzz-campaign: no target $t" >&2; failed=1; continue; }
    work="$OUT/corpus/$t"
    kept="$SRC/tests/fuzz/corpus/$t"
    seeds="$SRC/tests/fuzz/seeds/$t"
    mkdir -p "$work"
    inputs=("$work")
    [[ -d "$kept" ]] && inputs+=("$kept")
    [[ -d "$seeds" ]] && inputs+=("$seeds")
    log="$LOGS/$t.log"
    echo "== $t (${runs:+$runs runs}${time_limit:+$time_limit s}; $workers worker(s); corpus ${inputs[*]})"
    start=$SECONDS
    # The first corpus folder takes the new inputs; seeds and kept corpus stay
    # as they are. Each worker logs to its own file; the first one's is $t.log.
    pids=()
    logs=()
    for ((w = 1; w <= workers; w++)); do
        wlog="$log"
        [[ $w -gt 1 ]] && wlog="$LOGS/$t.w$w.log"
        logs+=("$wlog")
        "$exe" "${limits[@]}" -seed=$((RANDOM * 32768 + RANDOM + w)) -max_len=4096 -timeout=10 \
            -rss_limit_mb=2048 -print_final_stats=1 \
            -artifact_prefix="$ARTIFACTS/$t-" "${inputs[@]}" >"$wlog" 2>&1 &
        pids+=($!)
    done
    rc=0
    for p in "${pids[@]}"; do wait "$p" || rc=$?; done
    seconds=$((SECONDS - start))
    executed=0
    rate=0
    for wlog in "${logs[@]}"; do
        n="$(stat "$wlog" number_of_executed_units)"
        r="$(stat "$wlog" average_exec_per_sec)"
        executed=$((executed + ${n:-0}))
        rate=$((rate + ${r:-0}))
    done
    status="$(last_status "$log")"
    cov="$(field "$status" cov)"
    ft="$(field "$status" ft)"
    corp="$(field "$status" corp)"
    if [[ $rc -eq 0 ]]; then
        result=ok
    else
        result="FAULT (exit $rc, $(grep -aoE "$ARTIFACTS/[^ ]+" "$log" | tail -n 1))"
        failed=1
        for wlog in "${logs[@]}"; do
            grep -avE '^#[0-9]+ +(NEW|REDUCE|pulse|INITED|RELOAD)|^\s+NEW_FUNC' "$wlog" | tail -n 30
        done
    fi
    line="$(printf '%-16s %12s %8s %6s %7s %14s %7s  %s' "$t" "${executed:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" \
        "${corp:-?}" "$seconds" "$result")"
    echo "$line"
    rows+=("$line")

    if [[ $merge == 1 && $rc -eq 0 ]]; then
        # Minimal set over the seeds: start from a copy of them, merge the kept
        # corpus and the run's finds into it, then drop the seed copies again.
        merged="$OUT/merged/$t"
        rm -rf "$merged" && mkdir -p "$merged"
        [[ -d "$seeds" ]] && cp "$seeds"/* "$merged"/ 2>/dev/null
        merge_inputs=("$work")
        [[ -d "$kept" ]] && merge_inputs+=("$kept")
        if "$exe" -merge=1 -max_len=4096 -timeout=10 -rss_limit_mb=2048 "$merged" "${merge_inputs[@]}" \
                >"$LOGS/$t.merge.log" 2>&1; then
            if [[ -d "$seeds" ]]; then
                for s in "$seeds"/*; do rm -f "$merged/$(basename "$s")"; done
            fi
            rm -rf "$kept" && mkdir -p "$kept"
            cp "$merged"/* "$kept"/ 2>/dev/null
            echo "   kept corpus: $(find "$kept" -type f | wc -l) files, $(cat "$kept"/* 2>/dev/null | wc -c) bytes ($kept)"
        else
            echo "   merge failed (log: $LOGS/$t.merge.log)"
            failed=1
        fi
    fi
done

echo "== campaign"
printf '%-16s %12s %8s %6s %7s %14s %7s  %s\n' target executions exec/s cov ft corpus seconds result
for r in "${rows[@]}"; do echo "$r"; done
exit $failed
