# Functions for running Windows programs under Wine; source this file.
#
#   win64: the host's own Wine (64-bit).
#   win32: 32-bit programs. Where they run is chosen by KELMOR_WIN32_WINDOWS:
#          wow64 (default): in a 64-bit prefix of the host's Wine, through its
#                 32-bit part (wine32:i386), as a 32-bit 1C client runs on
#                 64-bit Windows: syswow64 and two registry views;
#          i386:  pure 32-bit Windows, the 32-bit Wine of the i386 Debian
#                 root, reached through chroot; the program's folder is
#                 copied into the root for the run.
#
# Each configuration has a private prefix, created on first use and made
# again when the Wine packages it was made with change (a prefix made before
# wine32 was installed cannot start anything afterwards), with WINEDEBUG=-all,
# a Russian user locale (LANG/LC_ALL=ru_RU.UTF-8: decimal comma, code page
# 1251) and a drive E: that is a plain folder of the prefix, so that what a
# program writes to e:\ can be read from Linux (kelmor_wine_drive_e).
#
# Environment:
#   KELMOR_WIN32_WINDOWS wow64 or i386: where win32 programs run (default wow64)
#   KELMOR_I386_ROOT     the i386 root (default /opt/kelmor-i386-root)
#   KELMOR_WINE_BASE     parent folder of the prefixes (default /tmp/kelmor-wine-<uid>);
#                        the i386 prefix is at the same path inside the root
#   KELMOR_WINE_TIMEOUT  seconds before a program is stopped (default 300)
#   KELMOR_WINEDEBUG     WINEDEBUG for the runs (default -all)
#   KELMOR_WINE_DRIVE_E  0: the runs see no drive E: (its link is removed until
#                        a run without this setting maps it again)
#   KELMOR_I386_PROBE    program run to learn whether the kernel runs 32-bit
#                        programs (default: a tiny i386 program written on the
#                        fly); tests point it at a failing program
#   KELMOR_WOW64_PACKAGE the package that gives the host's Wine its 32-bit
#                        part (default wine32:i386); tests name a missing one

KELMOR_I386_ROOT="${KELMOR_I386_ROOT:-/opt/kelmor-i386-root}"
KELMOR_I386_MARKER="$KELMOR_I386_ROOT/.kelmor-i386-ready"
KELMOR_WINE_BASE="${KELMOR_WINE_BASE:-/tmp/kelmor-wine-$(id -u)}"
KELMOR_WINE_TIMEOUT="${KELMOR_WINE_TIMEOUT:-300}"
KELMOR_WOW64_PACKAGE="${KELMOR_WOW64_PACKAGE:-wine32:i386}"
# Written by tools/setup.sh when the 32-bit part of the host's Wine could not
# be installed: the reason, shown by the win32 runs that need it.
KELMOR_WOW64_FAILED="${KELMOR_WOW64_FAILED:-/var/tmp/kelmor-wow64.failed}"

_kelmor_check_arch() {
    case "$1" in
        win64 | win32) ;;
        *) echo "wine-env: unknown arch '$1' (win64 or win32)" >&2; return 2 ;;
    esac
    case "${KELMOR_WIN32_WINDOWS:-wow64}" in
        wow64 | i386) return 0 ;;
        *) echo "wine-env: unknown KELMOR_WIN32_WINDOWS '$KELMOR_WIN32_WINDOWS' (wow64 or i386)" >&2; return 2 ;;
    esac
}

# Succeeds when ARCH's programs run in the i386 root (pure 32-bit Windows).
_kelmor_in_root() {
    [[ "$1" == win32 && "${KELMOR_WIN32_WINDOWS:-wow64}" == i386 ]]
}

# The Windows that ARCH's programs see: win64 (64-bit Windows, WoW64 for
# 32-bit programs) or win32 (pure 32-bit Windows).
kelmor_wine_windows() {
    _kelmor_check_arch "$1" || return
    if _kelmor_in_root "$1"; then echo win32; else echo win64; fi
}

# A short description of where ARCH's programs run, for headings.
kelmor_wine_where() {
    _kelmor_check_arch "$1" || return
    if [[ "$1" == win64 ]]; then
        echo "64-bit Windows"
    elif _kelmor_in_root "$1"; then
        echo "pure 32-bit Windows (the i386 root)"
    else
        echo "64-bit Windows (WoW64)"
    fi
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

# Succeeds when the host's Wine runs 32-bit programs in a 64-bit prefix;
# otherwise prints the reason.
kelmor_wow64_ready() {
    if ! kelmor_kernel_runs_i386; then
        echo "$KELMOR_NO_I386_KERNEL_REASON"
        return 1
    fi
    if ! dpkg-query -W -f='${db:Status-Abbrev}\n' "$KELMOR_WOW64_PACKAGE" 2>/dev/null | grep -q '^ii'; then
        if [[ -s "$KELMOR_WOW64_FAILED" ]]; then
            cat "$KELMOR_WOW64_FAILED"
        else
            echo "$KELMOR_WOW64_PACKAGE, the 32-bit part of the host's Wine, is not installed (run tools/setup.sh as root)"
        fi
        return 1
    fi
    return 0
}

# Succeeds when win32 programs can run where KELMOR_WIN32_WINDOWS says;
# otherwise prints the reason.
kelmor_win32_ready() {
    _kelmor_check_arch win32 || return
    if _kelmor_in_root win32; then kelmor_i386_ready; else kelmor_wow64_ready; fi
}

kelmor_i386_mount_proc() {
    mountpoint -q "$KELMOR_I386_ROOT/proc" ||
        mount -t proc proc "$KELMOR_I386_ROOT/proc"
}

# Path of the prefix as the Linux side of this machine sees it.
kelmor_wine_prefix() {
    _kelmor_check_arch "$1" || return
    if _kelmor_in_root "$1"; then
        echo "$KELMOR_I386_ROOT$KELMOR_WINE_BASE/win32"
    elif [[ "$1" == win32 ]]; then
        echo "$KELMOR_WINE_BASE/wow64"
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

# Runs a command with the Wine environment of the arch; in the i386 root it
# runs inside the root with the working folder CWD given as a path inside it.
_kelmor_wine_cmd() {  # arch cwd command...
    local arch="$1" cwd="$2"
    shift 2
    local vars=(WINEDEBUG="${KELMOR_WINEDEBUG:--all}" LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
        LANGUAGE= WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=)
    if _kelmor_in_root "$arch"; then
        kelmor_i386_mount_proc || return
        (cd "$KELMOR_I386_ROOT" && timeout -k 10 "$KELMOR_WINE_TIMEOUT" chroot "$KELMOR_I386_ROOT" \
            env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/root TERM=dumb "${vars[@]}" \
            WINEPREFIX="$KELMOR_WINE_BASE/win32" WINEARCH=win32 \
            sh -c 'cd "$0" && exec "$@"' "$cwd" "$@")
    else
        (cd "$cwd" && timeout -k 10 "$KELMOR_WINE_TIMEOUT" env "${vars[@]}" \
            WINEPREFIX="$(kelmor_wine_prefix "$arch")" WINEARCH=win64 "$@")
    fi
}

# The Wine packages installed where ARCH's programs run, one a line: a prefix
# belongs to the packages it was made with.
_kelmor_wine_packages() {
    local query=(dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package}=${Version}\n' 'wine*' 'libwine*')
    if _kelmor_in_root "$1"; then query=(chroot "$KELMOR_I386_ROOT" "${query[@]}"); fi
    "${query[@]}" 2>/dev/null | awk '$1 == "ii" { print $2 }' | sort
}

# Creates the arch's prefix when missing and maps drive E:.
kelmor_wine_init() {
    local arch="$1" prefix
    _kelmor_check_arch "$arch" || return
    if [[ "$arch" == win32 ]]; then
        local reason
        reason="$(kelmor_win32_ready)" || { echo "wine-env: $reason" >&2; return 1; }
    fi
    prefix="$(kelmor_wine_prefix "$arch")"
    mkdir -p "$(dirname "$prefix")"
    (
        flock 8
        packages="$(_kelmor_wine_packages "$arch")"
        if [[ -f "$prefix/system.reg" && "$(cat "$prefix/.kelmor-wine-packages" 2>/dev/null)" != "$packages" ]]; then
            # Made with other Wine packages: a prefix made before wine32 came
            # fails afterwards ("could not load kernel32.dll"), 64-bit
            # programs included, since its syswow64 is empty.
            echo "wine-env: the $arch prefix $prefix was made with other Wine packages; making it again" >&2
            _kelmor_wine_cmd "$arch" / wineserver -k </dev/null >/dev/null 2>&1 || true
            _kelmor_wine_cmd "$arch" / wineserver -w </dev/null >/dev/null 2>&1 || true
            rm -rf --one-file-system "$prefix"
        fi
        if [[ ! -f "$prefix/system.reg" ]]; then
            echo "wine-env: creating the $arch prefix $prefix" >&2
            _kelmor_wine_cmd "$arch" / wineboot -i </dev/null >/dev/null 2>&1
            _kelmor_wine_cmd "$arch" / wineserver -w </dev/null >/dev/null 2>&1
            [[ -f "$prefix/system.reg" ]] || { echo "wine-env: wineboot did not create $prefix" >&2; exit 1; }
            printf '%s\n' "$packages" >"$prefix/.kelmor-wine-packages"
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
# (regsvr32, reg, ...); relative paths in ARGS resolve against DIR too. In
# the i386 root the contents of DIR are copied into the root for the run and
# what the program left there is copied back.
kelmor_wine_run() {
    local arch="$1" dir="$2"
    shift 2
    _kelmor_check_arch "$arch" || return
    [[ -d "$dir" ]] || { echo "wine-env: no folder $dir" >&2; return 2; }
    kelmor_wine_init "$arch" || return
    if ! _kelmor_in_root "$arch"; then
        _kelmor_wine_cmd "$arch" "$dir" wine "$@" </dev/null
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
    if [[ "$arch" == win32 ]]; then kelmor_win32_ready >/dev/null || return 0; fi
    _kelmor_wine_cmd "$arch" / wineserver -w </dev/null >/dev/null 2>&1 || true
}
