#!/usr/bin/env bash
# Runs a Windows program under Wine for one arch, with the private prefix,
# Russian locale and drive E: of tools/wine-env.sh.
#
#   tools/wine-run.sh [--dir DIR] win64|win32 PROGRAM [ARGS...]
#   tools/wine-run.sh --drive-e win64|win32     print the folder behind E:
#   tools/wine-run.sh --prefix win64|win32      print the prefix folder
#
# PROGRAM is a path to an .exe (its folder becomes the working folder unless
# --dir is given) or a program Wine knows by name. Relative paths in ARGS
# resolve against the working folder. The exit code is the program's.
# win32 programs run on 64-bit Windows (WoW64); KELMOR_WIN32_WINDOWS=i386 runs
# them on pure 32-bit Windows, the i386 root (tools/wine-env.sh).
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tools/wine-env.sh
source "$HERE/wine-env.sh"

usage() { sed -n '2,14p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2; exit 2; }

dir=""
case "${1:-}" in
    --drive-e) [[ $# -eq 2 ]] || usage; kelmor_wine_init "$2"; kelmor_wine_drive_e "$2"; exit ;;
    --prefix) [[ $# -eq 2 ]] || usage; kelmor_wine_init "$2"; kelmor_wine_prefix "$2"; exit ;;
    --dir) [[ $# -ge 2 ]] || usage; dir="$2"; shift 2 ;;
    -h | --help | "") usage ;;
esac
[[ $# -ge 2 ]] || usage
arch="$1" program="$2"
shift 2

if [[ -f "$program" ]]; then
    if [[ -z "$dir" ]]; then
        dir="$(dirname "$program")"
        program="$(basename "$program")"
    else
        dir="$(cd "$dir" && pwd)"
        program="$(realpath "$program")"
        case "$program" in
            "$dir"/*) program="${program#"$dir"/}" ;;
            *) echo "wine-run: $program is outside $dir" >&2; exit 2 ;;
        esac
    fi
fi
dir="$(cd "${dir:-.}" && pwd)"

if [[ "$arch" == win32 ]] && ! reason="$(kelmor_win32_ready)"; then
    echo "wine-run: cannot run win32 programs: $reason" >&2
    exit 125
fi
rc=0
kelmor_wine_run "$arch" "$dir" "$program" "$@" || rc=$?
exit "$rc"
