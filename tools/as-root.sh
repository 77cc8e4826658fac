# Source this file, then call: kelmor_as_root "$0" "$@"
# The set-up (apt-get, the i386 root) and the i386 Wine tests (chroot) need
# root. Run as root, a script goes on as it is, whether sudo exists or not (a
# fresh machine may have none). Run by another user, it starts itself again
# through sudo when sudo is there, keeping the KELMOR_* settings; without sudo
# it goes on as that user and the steps that need root say so.
# KELMOR_NO_SUDO=1 keeps a user who is not root from going through sudo.
kelmor_as_root() {
    [[ $EUID -eq 0 || "${KELMOR_NO_SUDO:-0}" == 1 ]] && return 0
    command -v sudo >/dev/null 2>&1 || return 0
    local vars=() v
    for v in $(compgen -v KELMOR_); do vars+=("$v=${!v}"); done
    echo "note: not root: going on through sudo" >&2
    exec sudo env "${vars[@]}" bash "$@"
}
