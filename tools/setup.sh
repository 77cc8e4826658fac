#!/usr/bin/env bash
# Prepares a Debian 12 machine for building and testing the add-in library:
#   1. the host packages (compilers, MinGW-w64, Wine, GoogleTest, clang with
#      lld and llvm for the MSVC-ABI test host, ...) and the ru_RU.UTF-8 locale;
#   2. the 32-bit part of the host's Wine (wine32:i386, with the i386
#      architecture added to dpkg), so that 32-bit programs run in a 64-bit
#      prefix as a 32-bit 1C client runs on 64-bit Windows (WoW64);
#   3. an i386 Debian root with a 32-bit Wine: pure 32-bit Windows.
# Safe to run again: finished steps are recognised and skipped.
#
# Environment:
#   KELMOR_I386_ROOT    where the i386 root lives (default /opt/kelmor-i386-root)
#   KELMOR_SKIP_I386=1  do not build the i386 root (its tests are then skipped)
#   KELMOR_SKIP_WOW64=1 do not install wine32:i386 (the WoW64 tests are then skipped)
#   KELMOR_MIRROR       Debian mirror for the root (default: the host's own)
#
# Steps 2 and 3 are left out on a machine whose kernel runs no 32-bit
# programs. A failure of either does not fail the script: the reason is
# written to "$KELMOR_WOW64_FAILED" or "$KELMOR_I386_ROOT.failed", and the
# tests that need it report themselves as skipped with that reason.
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tools/wine-env.sh
source "$HERE/wine-env.sh"

HOST_PACKAGES=(cmake ninja-build g++ libgtest-dev clang lld llvm libclang-rt-14-dev
    mingw-w64 g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 binutils-mingw-w64
    wine wine64 debootstrap debian-archive-keyring gpgv locales zip unzip python3)
ROOT_PACKAGES=(wine wine32 locales)
APT_LINE="apt-get install -y --no-install-recommends ${HOST_PACKAGES[*]}"

log() { echo "setup: $*"; }

# The last lines of a failed step's log, on one line: the reason shown later.
failure_reason() {  # logfile
    grep -v '^[[:space:]]*$' "$1" | tail -n 3 | tr '\n' ' ' | cut -c1-300
}

packages_missing() {
    local p missing=()
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
            missing+=("$p")
        fi
    done
    echo "${missing[*]:-}"
}

locale_present() {  # [root]
    local root="${1:-}"
    if [[ -z "$root" ]]; then
        locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'
    else
        chroot "$root" locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'
    fi
}

generate_locale() {  # [root]
    local root="${1:-}"
    local gen="$root/etc/locale.gen"
    if [[ -f "$gen" ]] && grep -q '^# *ru_RU.UTF-8 UTF-8' "$gen"; then
        sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' "$gen"
    elif ! grep -q '^ru_RU.UTF-8 UTF-8' "$gen" 2>/dev/null; then
        echo 'ru_RU.UTF-8 UTF-8' >>"$gen"
    fi
    if [[ -z "$root" ]]; then
        locale-gen
    else
        chroot "$root" locale-gen
    fi
}

# ---------------------------------------------------------------- host
setup_host() {
    local missing
    missing="$(packages_missing "${HOST_PACKAGES[@]}")"
    if [[ -z "$missing" ]] && locale_present; then
        log "host packages and the ru_RU.UTF-8 locale are in place"
        return 0
    fi
    if [[ $EUID -ne 0 ]]; then
        echo "setup: missing host packages: ${missing:-none}; ru_RU.UTF-8 locale: $(locale_present && echo present || echo missing)" >&2
        echo "setup: run this script as root, or run as root:" >&2
        echo "  apt-get update && DEBIAN_FRONTEND=noninteractive $APT_LINE" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    if [[ -n "$missing" ]]; then
        log "installing: $missing"
        apt-get update
        # shellcheck disable=SC2086
        apt-get install -y --no-install-recommends "${HOST_PACKAGES[@]}"
    fi
    if ! locale_present; then
        log "generating the ru_RU.UTF-8 locale"
        generate_locale
    fi
}

# ---------------------------------------------------------------- WoW64
setup_wow64() {
    local reason
    if [[ "${KELMOR_SKIP_WOW64:-0}" == 1 ]]; then
        log "wine32:i386 not installed (KELMOR_SKIP_WOW64=1)"
        return 0
    fi
    if ! kelmor_kernel_runs_i386; then
        log "wine32:i386 not installed: $KELMOR_NO_I386_KERNEL_REASON; the win32 DLL is still built, its WoW64 tests are skipped"
        return 0
    fi
    if kelmor_wow64_ready >/dev/null; then
        log "wine32:i386 is in place (32-bit programs run on 64-bit Windows)"
        return 0
    fi
    if [[ $EUID -ne 0 ]]; then
        echo "setup: wine32:i386 is not installed and needs root to install; the WoW64 tests will be skipped" >&2
        return 0
    fi
    local logfile="$KELMOR_WOW64_FAILED.log" wine_version
    wine_version="$(dpkg-query -W -f='${Version}' wine64 2>/dev/null)"
    log "installing $KELMOR_WOW64_PACKAGE beside wine64 $wine_version (log: $logfile)"
    if (
        set -e
        export DEBIAN_FRONTEND=noninteractive
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            dpkg --add-architecture i386
        fi
        apt-get update
        # The same version as the 64-bit Wine: the two halves work only together.
        apt-get install -y --no-install-recommends "$KELMOR_WOW64_PACKAGE${wine_version:+=$wine_version}"
    ) >"$logfile" 2>&1 && kelmor_wow64_ready >/dev/null; then
        rm -f "$KELMOR_WOW64_FAILED"
        log "wine32:i386 is in place (32-bit programs run on 64-bit Windows)"
    else
        reason="$(failure_reason "$logfile")"
        echo "installing $KELMOR_WOW64_PACKAGE failed: ${reason:-unknown reason} (see $logfile)" >"$KELMOR_WOW64_FAILED"
        echo "setup: WARNING: $(cat "$KELMOR_WOW64_FAILED")" >&2
        echo "setup: WARNING: the win32 Wine tests under WoW64 will be skipped" >&2
    fi
}

# ---------------------------------------------------------------- i386 root
host_mirror() {
    local uri=""
    if compgen -G '/etc/apt/sources.list.d/*.sources' >/dev/null; then
        # First URIs line of a deb822 entry whose suite is the release itself.
        uri="$(awk '
            /^[[:space:]]*$/ { if (u != "" && s ~ /(^| )bookworm( |$)/) { print u; exit } u = ""; s = "" }
            /^URIs:/ { u = $2 }
            /^Suites:/ { $1 = ""; s = $0 }
            END { if (u != "" && s ~ /(^| )bookworm( |$)/) print u }' /etc/apt/sources.list.d/*.sources | head -n1)"
    fi
    if [[ -z "$uri" && -f /etc/apt/sources.list ]]; then
        uri="$(awk '$1 == "deb" && $0 ~ / bookworm( |$)/ {
                   for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' /etc/apt/sources.list)"
    fi
    echo "${uri:-http://deb.debian.org/debian}"
}

# Everything mounted at or below the root, deepest first.
mounts_below() {
    awk -v r="$1" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/self/mounts | sort -r
}

root_complete() {
    [[ -x "$KELMOR_I386_ROOT/usr/bin/apt-get" && ! -d "$KELMOR_I386_ROOT/debootstrap" ]]
}

root_has_wine() {
    [[ -x "$KELMOR_I386_ROOT/usr/bin/wine" ]] &&
        chroot "$KELMOR_I386_ROOT" dpkg-query -W -f='${Status}\n' wine32 2>/dev/null | grep -q 'install ok installed' &&
        locale_present "$KELMOR_I386_ROOT"
}

build_i386_root() {
    local root="$KELMOR_I386_ROOT" mirror
    mirror="${KELMOR_MIRROR:-$(host_mirror)}"

    if [[ -d "$root" ]] && ! root_complete; then
        # An interrupted debootstrap: start over, but never remove a tree
        # that still has something mounted in it.
        local m
        for m in $(mounts_below "$root"); do umount "$m" || true; done
        if [[ -n "$(mounts_below "$root")" ]]; then
            echo "unfinished root $root still has mounts; not removing it"
            return 1
        fi
        log "removing the unfinished root $root"
        rm -rf --one-file-system "$root"
    fi
    if [[ ! -d "$root" ]]; then
        log "debootstrap i386 bookworm into $root from $mirror (several minutes)"
        mkdir -p "$(dirname "$root")"
        debootstrap --arch=i386 --variant=minbase bookworm "$root" "$mirror" || return 1
    fi

    kelmor_i386_mount_proc || return 1
    cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
    if ! root_has_wine; then
        log "installing ${ROOT_PACKAGES[*]} inside $root"
        chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get update || return 1
        chroot "$root" env DEBIAN_FRONTEND=noninteractive \
            apt-get install -y --no-install-recommends "${ROOT_PACKAGES[@]}" || return 1
        chroot "$root" apt-get clean || true
    fi
    if ! locale_present "$root"; then
        log "generating the ru_RU.UTF-8 locale inside $root"
        generate_locale "$root" || return 1
    fi
    root_has_wine || { echo "32-bit Wine not usable in $root"; return 1; }
}

setup_i386() {
    local root="$KELMOR_I386_ROOT" failed="$KELMOR_I386_ROOT.failed"
    if [[ "${KELMOR_SKIP_I386:-0}" == 1 ]]; then
        log "i386 root not built (KELMOR_SKIP_I386=1)"
        return 0
    fi
    # Before anything is downloaded: a kernel without 32-bit support can run
    # neither the root's tools nor its Wine (qemu user mode does not carry
    # Wine either), so there is nothing to build.
    if ! kelmor_kernel_runs_i386; then
        log "i386 root not built: $KELMOR_NO_I386_KERNEL_REASON; the win32 DLL is still built, its Wine tests are skipped"
        return 0
    fi
    if [[ $EUID -ne 0 && -f "$KELMOR_I386_MARKER" ]]; then
        log "i386 root $root is ready (entering it needs root: run the tests as root)"
        return 0
    fi
    if kelmor_i386_ready >/dev/null; then
        kelmor_i386_mount_proc >/dev/null 2>&1 || true
        log "i386 root $root is ready"
        return 0
    fi
    if [[ $EUID -ne 0 ]]; then
        echo "setup: the i386 root $root needs root to build; its tests will be skipped" >&2
        return 0
    fi
    # A root finished earlier without our marker (for instance by hand).
    if root_complete && root_has_wine; then
        kelmor_i386_mount_proc || true
        date -u +%FT%TZ >"$KELMOR_I386_MARKER"
        rm -f "$failed"
        log "i386 root $root recognised as ready"
        return 0
    fi
    local logfile="$root.setup.log"
    mkdir -p "$(dirname "$root")"
    log "building the i386 root $root (log: $logfile)"
    if (set +e; build_i386_root) >"$logfile" 2>&1; then
        date -u +%FT%TZ >"$KELMOR_I386_MARKER"
        rm -f "$failed"
        log "i386 root $root is ready"
    else
        local reason
        reason="$(failure_reason "$logfile")"
        echo "building the i386 root failed: ${reason:-unknown reason} (see $logfile)" >"$failed"
        echo "setup: WARNING: $(cat "$failed")" >&2
        echo "setup: WARNING: the i386 Wine tests will be skipped" >&2
        tail -n 20 "$logfile" >&2 || true
    fi
}

main() {
    # One set-up at a time on a machine; the i386 root has a lock of its own.
    if [[ $EUID -eq 0 ]]; then
        exec 8>>/tmp/kelmor-setup-host.lock
        flock 8
        setup_host
        setup_wow64
        exec 8>&-
        mkdir -p "$(dirname "$KELMOR_I386_ROOT")"
        exec 9>>"$KELMOR_I386_ROOT.lock"
        flock 9
        setup_i386
        exec 9>&-
    else
        setup_host
        setup_wow64
        setup_i386
    fi
}

main "$@"
