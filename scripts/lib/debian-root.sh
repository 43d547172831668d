# A fresh minimal root of a Debian release, made with debootstrap from the
# mirror this machine's apt sources name, with the commit checked out here
# cloned into it as /root/project (scripts/test-debian, scripts/test-plain-build).
# shellcheck shell=bash
#
# debian_root VERSION KEEP [COMMAND...]: makes it under $TMPDIR (else /tmp)
# and sets $root, and $debian_mirror to the mirror it came from. A COMMAND
# given runs while debootstrap does, and must succeed too: debootstrap
# waits on the mirror and the disk, and leaves the processor to a build.
# On exit (at_exit) every process in it ends, its mounts go and, unless KEEP
# is 1, it is removed. Needs root: debootstrap, chroot and the mounts.

# The releases by version, as debootstrap names them.
declare -A DEBIAN_CODENAMES=([12]=bookworm [13]=trixie [14]=forky)

timed() {
    local started=$SECONDS
    echo "=== $1 ($(date +%T))"
    "${@:2}"
    echo "=== $1: $((SECONDS - started)) s"
}

# debian_root_options ARGS...: the scripts' [--keep] [--while COMMAND...],
# into $keep and the array $alongside; anything else calls their usage.
# shellcheck disable=SC2034 # read by scripts/test-debian and scripts/test-plain-build
debian_root_options() {
    keep=0 alongside=()
    while [ $# -gt 0 ]; do
        case "$1" in
            --keep) keep=1; shift ;;
            --while) [ $# -gt 1 ] || usage; alongside=("${@:2}"); break ;;
            *) usage ;;
        esac
    done
}

# Runs a bash command in the root as root, with a clean environment and CI=true.
in_root() {
    chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 CI=true \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin bash -c "$1"
}

debian_root() {
    debian_version=$1 debian_keep=$2
    local release=${DEBIAN_CODENAMES[$debian_version]:-}
    [ -n "$release" ] || { echo "No Debian $debian_version; one of: ${!DEBIAN_CODENAMES[*]}" >&2; return 2; }
    [ "$(id -u)" -eq 0 ] || { echo "$(basename "$0") needs root (debootstrap, chroot, mount)." >&2; return 1; }

    # The Debian mirror of this machine's own release, from its apt sources in
    # either format (one-line or deb822).
    local host_release file sources=()
    host_release=$(. /etc/os-release && echo "$VERSION_CODENAME")
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        if [ -f "$file" ]; then sources+=("$file"); fi
    done
    debian_mirror=$(awk -v want="$host_release" '
            FNR == 1 { uri = suites = "" }
            /^deb / { sub(/ \[[^]]*\]/, ""); if ($3 == want) { print $2; exit } }
            /^URIs:/ { uri = $2 }
            /^Suites:/ { suites = " " $0 " " }
            /^$/ { uri = suites = "" }
            uri != "" && index(suites, " " want " ") { print uri; exit }' "${sources[@]}" /dev/null)
    [ -n "$debian_mirror" ] || { echo "No apt source of $host_release found to take the Debian mirror from." >&2; return 1; }

    ensure_packages "${DEBIAN_ROOT_PACKAGES[@]}"
    debian_work=$(realpath "$(mktemp -d "${TMPDIR:-/tmp}/popgen-debian-$debian_version.XXXXXX")")
    root="$debian_work/root"
    at_exit debian_root_finish

    # A release newer than this machine's debootstrap knows is made as
    # unstable is.
    local script=/usr/share/debootstrap/scripts/$release
    [ -e "$script" ] || script=/usr/share/debootstrap/scripts/sid
    # bootstrap [COMMAND...]: debootstrap beside COMMAND, which runs here.
    bootstrapped() {
        debootstrap --variant=minbase --include=git,ca-certificates "$release" "$root" "$debian_mirror" "$script" \
            >"$debian_work/debootstrap.log" 2>&1 || { tail -n 20 "$debian_work/debootstrap.log"; return 1; }
    }
    bootstrap() {
        beside debootstrap bootstrapped
        [ $# -eq 0 ] || "$@"
        joined debootstrap
    }
    local what="debootstrap Debian $debian_version ($release) from $debian_mirror"
    [ $# -le 2 ] || what+=", with $(basename "$3") beside it (until both have ended)"
    timed "$what" bootstrap "${@:3}"
    # Private mounts, so that neither a mount nor an unmount in the root reaches
    # this machine's own /dev (as it would where its mounts are shared).
    local dir
    for dir in proc sys dev dev/pts; do
        mount --bind "/$dir" "$root/$dir"
        mount --make-private "$root/$dir"
    done
    # Shared memory of its own (the fuzzers' scratch folder), apart from this machine's.
    mount -t tmpfs -o mode=1777 popgen-shm "$root/dev/shm"
    # The root reaches the mirror as this machine does: with its name servers
    # and its apt settings for that (a proxy; no check of a Release file's
    # dates, which a mirror behind a cache that lags needs for testing).
    cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
    apt-config dump | grep -E '^Acquire::(https?::Proxy|Check-Valid-Until|Check-Date) ' \
        >"$root/etc/apt/apt.conf.d/00popgen-host" || true
    # It trusts the certificate authorities added here (a proxy's that
    # inspects TLS, say), with which npm reaches its registry from here.
    if compgen -G '/usr/local/share/ca-certificates/*.crt' >/dev/null; then
        mkdir -p "$root/usr/local/share/ca-certificates"
        cp /usr/local/share/ca-certificates/*.crt "$root/usr/local/share/ca-certificates/"
        in_root 'update-ca-certificates >/dev/null && echo "cafile=/etc/ssl/certs/ca-certificates.crt" >>/etc/npmrc'
    fi

    git clone --quiet --no-hardlinks "$ROOT" "$root/root/project"
}

# Everything mounted under the work folder, deepest first.
debian_root_mounts() { awk -v w="$debian_work" 'index($2, w "/") == 1 { print $2 }' /proc/self/mounts | sort -r; }

debian_root_finish() {
    local process mount
    # Nothing keeps running in the root: every process whose root it is ends.
    for process in /proc/[0-9]*; do
        if [ "$(readlink "$process/root" 2>/dev/null)" = "$root" ]; then kill -KILL "${process#/proc/}" 2>/dev/null || true; fi
    done
    sleep 1
    for mount in $(debian_root_mounts); do umount "$mount" || umount -l "$mount" || true; done
    if [ -n "$(debian_root_mounts)" ]; then
        echo "Still mounted under $debian_work, so it is not removed:" >&2
        debian_root_mounts >&2
        return 1
    elif [ "$debian_keep" -eq 1 ]; then
        echo "The Debian $debian_version root is kept: $root"
    else
        rm -rf --one-file-system "$debian_work"
    fi
}
