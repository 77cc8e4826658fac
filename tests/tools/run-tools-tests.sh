#!/usr/bin/env bash
# Checks of the set-up and run scripts themselves (tools/):
#   - the kernel probe agrees with an i386 program made by the assembler;
#   - on a kernel that runs no 32-bit programs the set-up downloads nothing
#     and says why, and a root built earlier gives the plain SKIPPED line;
#   - the README's two commands start with no sudo, and the scripts go
#     through sudo only for a user who is not root and has it.
# Prints PASS/FAIL lines and "SUMMARY: N passed, N failed"; exit code 1 on
# failures. Needs the host packages (tools/setup.sh) and root for the parts
# that run as another user (skipped otherwise).
set -uo pipefail

SRC="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
PASSED=0
FAILED=0
SKIPPED=0
work="$(mktemp -d "${TMPDIR:-/tmp}/kelmor-tools-test.XXXXXX")"
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT

check() {  # condition-exit-code description [detail]
    if [[ "$1" -eq 0 ]]; then
        echo "PASS: $2"
        PASSED=$((PASSED + 1))
    else
        echo "FAIL: $2${3:+ ($3)}"
        FAILED=$((FAILED + 1))
    fi
}
skip() {
    echo "SKIPPED: $1"
    SKIPPED=$((SKIPPED + 1))
}

# --- The kernel probe ---------------------------------------------------------
probe_answer="$(bash -c "source '$SRC/tools/wine-env.sh'; kelmor_kernel_runs_i386 && echo runs || echo refuses")"
if command -v as >/dev/null && command -v ld >/dev/null &&
    printf '.globl _start\n_start:\n movl $1, %%eax\n movl $0, %%ebx\n int $0x80\n' >"$work/ref.s" &&
    as --32 "$work/ref.s" -o "$work/ref.o" 2>/dev/null && ld -m elf_i386 "$work/ref.o" -o "$work/ref" 2>/dev/null; then
    if "$work/ref" >/dev/null 2>&1; then reference=runs; else reference=refuses; fi
    [[ "$probe_answer" == "$reference" ]]
    check $? "the kernel probe agrees with an assembled i386 program (both: $reference)" "probe: $probe_answer"
else
    skip "kernel probe against an assembled i386 program (no i386 assembler here)"
fi

# --- A kernel without 32-bit support --------------------------------------------
# The probe is replaced by a failing program: the set-up must not touch the
# root's folder (nothing downloaded) and must say why.
root="$work/no-such-root/i386"
out="$(KELMOR_I386_PROBE=false KELMOR_I386_ROOT="$root" "$SRC/tools/setup.sh" 2>&1)"
rc=$?
check $rc "set-up succeeds on a kernel without 32-bit support" "exit code $rc: $(tail -n 3 <<<"$out")"
[[ ! -e "$root" && ! -e "$root.failed" ]]
check $? "set-up builds and downloads nothing for the i386 root there" "$(ls -a "$(dirname "$root")" 2>&1 | tr '\n' ' ')"
grep -qF "this machine's kernel runs no 32-bit programs" <<<"$out"
check $? "set-up says the kernel runs no 32-bit programs" "$out"

# A root built earlier on a machine whose kernel no longer runs it: the same
# plain SKIPPED line, no failures.
old="$work/old-root"
mkdir -p "$old/usr/bin"
printf '#!/bin/sh\nexit 0\n' >"$old/usr/bin/wine"
chmod +x "$old/usr/bin/wine"
date -u +%FT%TZ >"$old/.kelmor-i386-ready"
mkdir -p "$work/build/win32/wine-bin"
out="$(KELMOR_I386_PROBE=false KELMOR_I386_ROOT="$old" KELMOR_WINE_BASE="$work/wine" \
    "$SRC/tests/wine/run/run-wine-tests.sh" win32 "$work/build/win32" 2>&1)"
rc=$?
check $rc "the win32 Wine tests pass as skipped on such a kernel" "exit code $rc"
grep -qxF "SKIPPED: i386 Wine tests (this machine's kernel runs no 32-bit programs)" <<<"$out"
check $? "a root built earlier gives the plain SKIPPED line" "$out"
grep -qxF "SUMMARY: 0 passed, 0 failed, 1 skipped" <<<"$out"
check $? "and a summary of one skip, no failure" "$(tail -n 1 <<<"$out")"

# --- The README's commands and sudo ----------------------------------------------
commands="$(sed -n '/^## Commands/,/^## /p' "$SRC/README.md" | grep -E '^    [^ ]' | sed 's/^    //')"
[[ "$(wc -l <<<"$commands")" -eq 2 ]] && ! grep -qE '(^|[ ;&|])sudo( |$)' <<<"$commands"
check $? "the README's two commands do not start with sudo" "$commands"
bad=""
while read -r cmd _; do
    [[ -x "$SRC/$cmd" ]] && grep -q '^kelmor_as_root ' "$SRC/$cmd" || bad+=" $cmd"
done <<<"$commands"
[[ -z "$bad" ]]
check $? "each README command is an executable script that finds root itself" "not:$bad"

# The other user runs a copy of as-root.sh from the work folder, and from
# there: the checkout itself may lie where that user cannot reach it (a clone
# in /root, which is 0700).
user=nobody
unreachable=""
if [[ $EUID -eq 0 ]] && command -v runuser >/dev/null; then
    mkdir -p "$work/tools"
    cp "$SRC/tools/as-root.sh" "$work/tools/as-root.sh"
    chmod 755 "$work/tools"
    chmod 644 "$work/tools/as-root.sh"
    (cd "$work" && runuser -u "$user" -- test -r "$work/tools/as-root.sh") ||
        unreachable="$user cannot read the work folder $work (TMPDIR=${TMPDIR:-/tmp})"
fi
if [[ $EUID -eq 0 ]] && command -v runuser >/dev/null && [[ -n "$unreachable" ]]; then
    skip "sudo behaviour for another user ($unreachable)"
elif [[ $EUID -eq 0 ]] && command -v runuser >/dev/null; then
    script="$work/needs-root.sh"
    printf '#!/usr/bin/env bash\nsource "%s/tools/as-root.sh"\nkelmor_as_root "$0" "$@"\necho "went on as $(id -un) with $*"\n' "$work" >"$script"
    chmod 755 "$script"
    # As root: no sudo needed, none asked for (none on PATH at all).
    out="$(env -i PATH=/usr/bin:/bin bash "$script" a b 2>&1)"
    [[ "$out" == "went on as root with a b" ]]
    check $? "as root a script goes on by itself" "$out"
    # Another user without sudo: goes on as that user.
    mkdir -p "$work/nosudo"
    out="$(cd "$work" && runuser -u "$user" -- env -i PATH="$work/nosudo:/usr/bin:/bin" bash -c "command -v sudo >/dev/null && exit 9; bash '$script' a b" 2>&1)"
    rc=$?
    [[ $rc -eq 9 ]] && skip "a user without sudo (this machine has sudo in /usr/bin)" ||
        { [[ "$out" == "went on as $user with a b" ]]; check $? "a user without sudo goes on as that user" "$out"; }
    # Another user with sudo: the script starts again through sudo with the
    # KELMOR_* settings and its arguments.
    mkdir -p "$work/fakesudo"
    printf '#!/bin/sh\necho "sudo $*"\n' >"$work/fakesudo/sudo"
    chmod 755 "$work/fakesudo/sudo"
    out="$(cd "$work" && runuser -u "$user" -- env -i PATH="$work/fakesudo:/usr/bin:/bin" KELMOR_JOBS=3 bash "$script" a b 2>/dev/null)"
    [[ "$out" == "sudo env KELMOR_JOBS=3 bash $script a b" ]]
    check $? "a user with sudo starts the script again through sudo, settings kept" "$out"
else
    skip "sudo behaviour for another user (needs root and runuser)"
fi

if [[ $SKIPPED -gt 0 ]]; then
    echo "SUMMARY: $PASSED passed, $FAILED failed, $SKIPPED skipped"
else
    echo "SUMMARY: $PASSED passed, $FAILED failed"
fi
[[ $FAILED -eq 0 ]]
