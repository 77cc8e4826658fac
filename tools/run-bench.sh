#!/usr/bin/env bash
# The add-in's own cost under Wine: runs "hostsim.exe bench" (see the README,
# "Running pieces") for one arch, optionally alternating with another build
# of the DLL so that before and after are measured on the same machine in one
# sitting, and prints the figures side by side.
#
#   tools/run-bench.sh [--against OTHER.dll] [--runs N] [--short] win64|win32 [BUILD_DIR]
#
#   --against OTHER.dll  also bench that DLL (same arch), alternating run by run
#   --runs N             bench processes per DLL (default 3)
#   --short              the short bench (what the test run runs)
# BUILD_DIR defaults to build/<arch> (hostsim.exe and fakedriver.dll from its
# wine-bin); the DLL is dist/<arch>/KelmorTarvik1CNative.dll. Each process
# prints its own ratios; the table at the end lists every run's figures
# (medians of its rounds). Times are the machine's: nothing is asserted.
# win32 runs on 64-bit Windows (WoW64); KELMOR_WIN32_WINDOWS=i386 benches it
# on pure 32-bit Windows, the i386 root.
set -uo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
SRC="$(cd "$HERE/.." && pwd)"
# shellcheck source=tools/wine-env.sh
source "$HERE/wine-env.sh"

usage() { sed -n '2,17p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2; exit 2; }

against="" runs=3 mode=()
while [[ $# -gt 0 ]]; do
    case "$1" in
        --against) [[ $# -ge 2 ]] || usage; against="$(realpath "$2")"; shift 2 ;;
        --runs) [[ $# -ge 2 && "$2" =~ ^[1-9][0-9]*$ ]] || usage; runs="$2"; shift 2 ;;
        --short) mode=(short); shift ;;
        -h | --help) usage ;;
        *) break ;;
    esac
done
ARCH="${1:-}"
case "$ARCH" in win64 | win32) ;; *) usage ;; esac
BUILD_DIR="${2:-$SRC/build/$ARCH}"
DLL="$SRC/dist/$ARCH/KelmorTarvik1CNative.dll"
[[ -f "$DLL" ]] || { echo "run-bench: no $DLL (tools/build.sh $ARCH)" >&2; exit 2; }
[[ -f "$BUILD_DIR/wine-bin/hostsim.exe" ]] || { echo "run-bench: no $BUILD_DIR/wine-bin/hostsim.exe" >&2; exit 2; }
[[ -z "$against" || -f "$against" ]] || { echo "run-bench: no $against" >&2; exit 2; }
if [[ "$ARCH" == win32 ]] && ! reason="$(kelmor_win32_ready)"; then
    echo "run-bench: cannot run win32 programs: $reason" >&2
    exit 125
fi
kelmor_wine_init "$ARCH" || exit 1

STAGE="$(mktemp -d "${TMPDIR:-/tmp}/kelmor-bench-$ARCH.XXXXXX")"
trap 'rm -rf "$STAGE"' EXIT
cp -a "$BUILD_DIR/wine-bin/hostsim.exe" "$BUILD_DIR/wine-bin/fakedriver.dll" "$STAGE/"
mkdir -p "$STAGE/this"
cp -a "$DLL" "$STAGE/this/"
names=(this)
if [[ -n "$against" ]]; then
    mkdir -p "$STAGE/other"
    cp -a "$against" "$STAGE/other/KelmorTarvik1CNative.dll"
    names=(other this)
fi

rc=0
results=()
for ((run = 1; run <= runs; run++)); do
    for name in "${names[@]}"; do
        echo "== [$ARCH] run $run, $name: $( [[ $name == this ]] && echo "$DLL" || echo "$against")"
        out="$(kelmor_wine_run "$ARCH" "$STAGE" hostsim.exe bench "$name/KelmorTarvik1CNative.dll" fakedriver.dll \
            "${mode[@]}" 2>&1 | tr -d '\r')" || rc=1
        echo "$out" | grep -avE '^PASS: '
        line="$(grep -a '^BENCH: ' <<<"$out" | tail -n 1)"
        results+=("$name $run ${line#BENCH: }")
    done
done

echo
echo "== [$ARCH] figures of every run (ns; ratios as in the issue's table)"
printf '%-6s %3s %9s %9s %9s %7s %9s %9s %9s %6s %9s %9s\n' dll run direct direct_bstr addin_off ratio addin_on \
    line_ns line_floor ratio findmethod memory_kb
for r in "${results[@]}"; do
    read -r name run rest <<<"$r"
    declare -A f=()
    for kv in $rest; do f["${kv%%=*}"]="${kv#*=}"; done
    printf '%-6s %3s %9s %9s %9s %7s %9s %9s %9s %6s %9s %9s\n' "$name" "$run" "${f[direct_ns]:-?}" \
        "${f[direct_bstr_ns]:-?}" "${f[addin_off_ns]:-?}" "${f[addin_ratio]:-?}" "${f[addin_on_ns]:-?}" "${f[line_ns]:-?}" \
        "${f[line_floor_ns]:-?}" "${f[line_ratio]:-?}" "${f[findmethod_ns]:-?}" "${f[memory_kb]:-?}"
    unset f
done
exit "$rc"
