# Functions for running Windows programs under Wine; source this file.
#
#   win64: the host's own Wine (64-bit).
#   win32: the 32-bit Wine of the i386 Debian root, reached through chroot;
#          the program's folder is copied into the root for the run.
#
# Each arch has a private prefix, created on first use, with WINEDEBUG=-all,
# a Russian user locale (LANG/LC_ALL=ru_RU.UTF-8: decimal comma, code page
# 1251) and a drive E: that is a plain folder of the prefix, so that what a
# program writes to e:\ can be read from Linux (kelmor_wine_drive_e).
#
# Environment:
#   KELMOR_I386_ROOT     the i386 root (default /opt/kelmor-i386-root)
#   KELMOR_WINE_BASE     parent folder of the prefixes (default /tmp/kelmor-wine-<uid>);
#                        the win32 prefix is at the same path inside the root
#   KELMOR_WINE_TIMEOUT  seconds before a program is stopped (default 300)
#   KELMOR_WINEDEBUG     WINEDEBUG for the runs (default -all)
#   KELMOR_WINE_DRIVE_E  0: the runs see no drive E: (its link is removed until
#                        a run without this setting maps it again)
#   KELMOR_I386_PROBE    program run to learn whether the kernel runs 32-bit
#                        programs (default: a tiny i386 program written on the
#                        fly); tests point it at a failing program

KELMOR_I386_ROOT="${KELMOR_I386_ROOT:-/opt/kelmor-i386-root}"
KELMOR_I386_MARKER="$KELMOR_I386_ROOT/.kelmor-i386-ready"
KELMOR_WINE_BASE="${KELMOR_WINE_BASE:-/tmp/kelmor-wine-$(id -u)}"
KELMOR_WINE_TIMEOUT="${KELMOR_WINE_TIMEOUT:-300}"

_kelmor_check_arch() {
    case "$1" in
        win64 | win32) return 0 ;;
        *) echo "wine-env: unknown arch '$1' (win64 or win32)" >&2; return 2 ;;
    esac
}

KELMOR_NO_I386_KERNEL_REASON="this machine's kernel runs no 32-bit programs"

# Succeeds when this machine's kernel runs 32-bit (i386) programs. Some kernels
# have that switched off ("32-bit emulation disabled"): nothing 32-bit starts
# there, the i386 root and its Wine included. The probe is a 96-byte i386
# program that only exits, so the answer needs no download and no root.
kelmor_kernel_runs_i386() {
    if [[ -n "${KELMOR_I386_PROBE:-}" ]]; then
        "$KELMOR_I386_PROBE" >/dev/null 2>&1
        return
    fi
    local probe rc
    probe="$(mktemp "${TMPDIR:-/tmp}/kelmor-i386-probe.XXXXXX")" || return 1
    # ELF header, one loadable segment, then: mov eax,1; mov ebx,0; int 0x80.
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x00\x00\x00\x00\xcd\x80' >"$probe"
    chmod +x "$probe"
    "$probe" >/dev/null 2>&1
    rc=$?
    rm -f "$probe"
    return "$rc"
}

# Succeeds when the i386 root can run programs; otherwise prints the reason.
kelmor_i386_ready() {
    # First: a root built earlier is of no use on a kernel without 32-bit
    # support (the same machine image may move to another kernel).
    if ! kelmor_kernel_runs_i386; then
        echo "$KELMOR_NO_I386_KERNEL_REASON"
        return 1
    fi
    if [[ -f "$KELMOR_I386_ROOT.failed" && ! -f "$KELMOR_I386_MARKER" ]]; then
        cat "$KELMOR_I386_ROOT.failed"
        return 1
    fi
    if [[ ! -f "$KELMOR_I386_MARKER" || ! -x "$KELMOR_I386_ROOT/usr/bin/wine" ]]; then
        echo "the i386 root $KELMOR_I386_ROOT is not set up (run tools/setup.sh as root)"
        return 1
    fi
    if [[ $EUID -ne 0 ]]; then
        echo "entering the i386 root needs root (chroot)"
        return 1
    fi
    return 0
}

kelmor_i386_mount_proc() {
    mountpoint -q "$KELMOR_I386_ROOT/proc" ||
        mount -t proc proc "$KELMOR_I386_ROOT/proc"
}

# Path of the prefix as the Linux side of this machine sees it.
kelmor_wine_prefix() {
    _kelmor_check_arch "$1" || return
    if [[ "$1" == win32 ]]; then
        echo "$KELMOR_I386_ROOT$KELMOR_WINE_BASE/win32"
    else
        echo "$KELMOR_WINE_BASE/win64"
    fi
}

# Folder behind drive E: of the arch's prefix.
kelmor_wine_drive_e() {
    local prefix
    prefix="$(kelmor_wine_prefix "$1")" || return
    echo "$prefix/drive_e"
}

# Runs a command with the Wine environment of the arch; win32 runs it inside
# the root with the working folder CWD given as a path inside the root.
_kelmor_wine_cmd() {  # arch cwd command...
    local arch="$1" cwd="$2"
    shift 2
    local vars=(WINEDEBUG="${KELMOR_WINEDEBUG:--all}" LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
        LANGUAGE= WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=)
    if [[ "$arch" == win32 ]]; then
        kelmor_i386_mount_proc || return
        (cd "$KELMOR_I386_ROOT" && timeout -k 10 "$KELMOR_WINE_TIMEOUT" chroot "$KELMOR_I386_ROOT" \
            env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/root TERM=dumb "${vars[@]}" \
            WINEPREFIX="$KELMOR_WINE_BASE/win32" WINEARCH=win32 \
            sh -c 'cd "$0" && exec "$@"' "$cwd" "$@")
    else
        (cd "$cwd" && timeout -k 10 "$KELMOR_WINE_TIMEOUT" env "${vars[@]}" \
            WINEPREFIX="$KELMOR_WINE_BASE/win64" WINEARCH=win64 "$@")
    fi
}

# Creates the arch's prefix when missing and maps drive E:.
kelmor_wine_init() {
    local arch="$1" prefix
    _kelmor_check_arch "$arch" || return
    if [[ "$arch" == win32 ]]; then
        local reason
        reason="$(kelmor_i386_ready)" || { echo "wine-env: $reason" >&2; return 1; }
    fi
    prefix="$(kelmor_wine_prefix "$arch")"
    mkdir -p "$(dirname "$prefix")"
    (
        flock 8
        if [[ ! -f "$prefix/system.reg" ]]; then
            echo "wine-env: creating the $arch prefix $prefix" >&2
            _kelmor_wine_cmd "$arch" / wineboot -i </dev/null >/dev/null 2>&1
            _kelmor_wine_cmd "$arch" / wineserver -w </dev/null >/dev/null 2>&1
            [[ -f "$prefix/system.reg" ]] || { echo "wine-env: wineboot did not create $prefix" >&2; exit 1; }
        fi
        mkdir -p "$prefix/drive_e"
        if [[ "${KELMOR_WINE_DRIVE_E:-1}" == 0 ]]; then
            rm -f "$prefix/dosdevices/e:"
        elif [[ "$(readlink "$prefix/dosdevices/e:" 2>/dev/null)" != ../drive_e ]]; then
            rm -f "$prefix/dosdevices/e:"
            ln -s ../drive_e "$prefix/dosdevices/e:"
        fi
    ) 8>>"$prefix.lock"
}

# kelmor_wine_run ARCH DIR PROGRAM [ARGS...]
# Runs PROGRAM with DIR as the working folder and answers its exit code.
# PROGRAM is a file name relative to DIR or a program Wine knows by name
# (regsvr32, reg, ...); relative paths in ARGS resolve against DIR too. For
# win32 the contents of DIR are copied into the root for the run and what
# the program left there is copied back.
kelmor_wine_run() {
    local arch="$1" dir="$2"
    shift 2
    _kelmor_check_arch "$arch" || return
    [[ -d "$dir" ]] || { echo "wine-env: no folder $dir" >&2; return 2; }
    kelmor_wine_init "$arch" || return
    if [[ "$arch" == win64 ]]; then
        _kelmor_wine_cmd win64 "$dir" wine "$@" </dev/null
        return
    fi
    local stage rc=0
    mkdir -p "$KELMOR_I386_ROOT/tmp"
    stage="$(mktemp -d "$KELMOR_I386_ROOT/tmp/kelmor-run.XXXXXX")" || return
    cp -a "$dir/." "$stage/"
    _kelmor_wine_cmd win32 "${stage#"$KELMOR_I386_ROOT"}" wine "$@" </dev/null || rc=$?
    cp -a -u "$stage/." "$dir/" 2>/dev/null || true
    rm -rf --one-file-system "$stage"
    return "$rc"
}

# Waits until the arch's wineserver has gone (so nothing lingers after tests).
kelmor_wine_wait() {
    local arch="$1" prefix
    prefix="$(kelmor_wine_prefix "$arch")" || return
    [[ -f "$prefix/system.reg" ]] || return 0
    if [[ "$arch" == win32 ]]; then kelmor_i386_ready >/dev/null || return 0; fi
    _kelmor_wine_cmd "$arch" / wineserver -w </dev/null >/dev/null 2>&1 || true
}
