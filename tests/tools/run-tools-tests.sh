#!/usr/bin/env bash
# Checks of the set-up and run scripts themselves (tools/):
#   - the kernel probe agrees with an i386 program made by the assembler;
#   - on a kernel that runs no 32-bit programs the set-up downloads nothing
#     and says why, and a root built earlier gives the plain SKIPPED line;
#   - where wine32:i386 does not install, the set-up goes on and the WoW64
#     run is skipped with the reason;
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
    "$SRC/tests/wine/run/run-wine-tests.sh" win32-i386 "$work/build/win32" 2>&1)"
rc=$?
check $rc "the win32 Wine tests on pure 32-bit Windows pass as skipped on such a kernel" "exit code $rc"
grep -qxF "SKIPPED: i386 Wine tests (this machine's kernel runs no 32-bit programs)" <<<"$out"
check $? "a root built earlier gives the plain SKIPPED line" "$out"
grep -qxF "SUMMARY: 0 passed, 0 failed, 1 skipped" <<<"$out"
check $? "and a summary of one skip, no failure" "$(tail -n 1 <<<"$out")"
# The same kernel under WoW64: wine32:i386 may be installed, but nothing
# 32-bit starts.
out="$(KELMOR_I386_PROBE=false KELMOR_WINE_BASE="$work/wine" \
    "$SRC/tests/wine/run/run-wine-tests.sh" win32 "$work/build/win32" 2>&1)"
rc=$?
grep -qxF "SKIPPED: win32 Wine tests under WoW64 (this machine's kernel runs no 32-bit programs)" <<<"$out" &&
    grep -qxF "SUMMARY: 0 passed, 0 failed, 1 skipped" <<<"$out" && [[ $rc -eq 0 ]]
check $? "the win32 Wine tests on 64-bit Windows say the kernel runs no 32-bit programs" "exit code $rc: $out"
[[ ! -e "$work/wine" ]]
check $? "and no prefix is made for them" "$(ls -a "$work/wine" 2>&1 | tr '\n' ' ')"

# --- wine32:i386 that does not install ------------------------------------------
# A package that no mirror has stands for wine32:i386: the set-up goes on,
# says why, and the WoW64 run is skipped with that reason.
if [[ $EUID -eq 0 ]] && bash -c "source '$SRC/tools/wine-env.sh'; kelmor_kernel_runs_i386"; then
    failed="$work/wow64.failed"
    out="$(KELMOR_WOW64_PACKAGE=kelmor-no-such-package:i386 KELMOR_WOW64_FAILED="$failed" KELMOR_SKIP_I386=1 \
        "$SRC/tools/setup.sh" 2>&1)"
    rc=$?
    check $rc "set-up succeeds when wine32:i386 does not install" "exit code $rc: $(tail -n 3 <<<"$out")"
    grep -q "^setup: WARNING: installing kelmor-no-such-package:i386 failed: " <<<"$out" &&
        grep -q "^installing kelmor-no-such-package:i386 failed: .*kelmor-no-such-package" "$failed" 2>/dev/null
    check $? "and records why, naming the package" "$out"
    out="$(KELMOR_WOW64_PACKAGE=kelmor-no-such-package:i386 KELMOR_WOW64_FAILED="$failed" KELMOR_WINE_BASE="$work/wine" \
        "$SRC/tests/wine/run/run-wine-tests.sh" win32 "$work/build/win32" 2>&1)"
    rc=$?
    grep -qxF "SKIPPED: win32 Wine tests under WoW64 ($(cat "$failed" 2>/dev/null))" <<<"$out" && [[ $rc -eq 0 ]]
    check $? "the win32 Wine tests on 64-bit Windows are skipped with that reason" "exit code $rc: $out"
else
    skip "wine32:i386 that does not install (needs root and a kernel that runs 32-bit programs)"
fi

# --- A prefix outlives the Wine it was made with ----------------------------------
# A prefix made before wine32:i386 came cannot start anything afterwards; one
# whose Wine packages differ from today's is made again, one that matches is kept.
if command -v wineboot >/dev/null; then
    base="$work/prefixes"
    mkdir -p "$base/win64"
    echo "WINE REGISTRY Version 2 (made by an older Wine)" >"$base/win64/system.reg"
    echo "wine64=0.0-old" >"$base/win64/.kelmor-wine-packages"
    touch "$base/win64/left-by-the-old-prefix"
    out="$(KELMOR_WINE_BASE="$base" bash -c "source '$SRC/tools/wine-env.sh' && kelmor_wine_init win64 &&
        _kelmor_wine_packages win64 && kelmor_wine_wait win64" 2>&1)"
    rc=$?
    [[ $rc -eq 0 && ! -e "$base/win64/left-by-the-old-prefix" && -d "$base/win64/drive_c/windows" ]] &&
        grep -q 'made with other Wine packages; making it again' <<<"$out" &&
        [[ "$(cat "$base/win64/.kelmor-wine-packages")" == "$(grep -v '^wine-env:' <<<"$out")" ]]
    check $? "a prefix made with other Wine packages is made again, with today's recorded" "exit code $rc: $out"
    touch "$base/win64/kept"
    out="$(KELMOR_WINE_BASE="$base" bash -c "source '$SRC/tools/wine-env.sh' && kelmor_wine_init win64" 2>&1)"
    [[ -e "$base/win64/kept" && -z "$out" ]]
    check $? "a prefix made with today's Wine packages is kept" "$out"
else
    skip "prefix made again for other Wine packages (no Wine here)"
fi

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
