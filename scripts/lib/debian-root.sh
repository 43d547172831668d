# A fresh minimal root of a Debian release, made with mmdebstrap from the
# mirror this machine's apt sources name, with the commit checked out here
# cloned into it as /root/project (scripts/test-debian, test-plain-build and test-package).
# shellcheck shell=bash
#
# debian_root VERSION KEEP: makes it under $POPGEN_ROOTS (a run of the
# stages sets it, run_stages), else $TMPDIR (else /tmp), and sets $root,
# and $debian_mirror to the mirror it came from. What runs in the root,
# mmdebstrap's own steps too, runs in mount and process namespaces of its
# own: its mounts and processes end with it, by the kernel's rule. On exit
# (at_exit) the root is removed, unless KEEP is 1.
# Needs root: mmdebstrap, unshare, chroot and the mounts.

# The releases by version, as the mirror names them.
declare -A DEBIAN_CODENAMES=([12]=bookworm [13]=trixie [14]=forky)

timed() {
    local started=$SECONDS
    echo "=== $1 ($(date +%T))"
    "${@:2}"
    echo "=== $1: $((SECONDS - started)) s"
}

# debian_root_options ARGS...: the scripts' [--keep], into $keep; anything
# else calls their usage.
# shellcheck disable=SC2034 # read by the scripts that make a root
debian_root_options() { keep=0; case "$*" in "") ;; --keep) keep=1 ;; *) usage ;; esac; }

# alone COMMAND...: COMMAND in mount and process namespaces of its own,
# with a /proc of its own (at /proc, or at PROC): when it ends, whatever
# it started ends, and whatever it mounted goes. Their first process
# waits for COMMAND, a job of its own, and ends on an interrupt or a TERM
# (Ctrl-C) at once, ending all the rest by the kernel's rule: COMMAND's
# processes might let the signal wait (apt-get through dpkg) or go on
# after it (a shell whose command did not die of it). unshare itself lets
# an interrupt or a TERM wait for its child, so it is killed when the
# shell that called alone dies (a TERM or a kill of a script), ending them.
alone() {
    setpriv --pdeathsig KILL unshare --mount --pid --fork --kill-child --mount-proc="${proc:-/proc}" \
        bash -c 'trap "exit 130" INT; trap "exit 143" TERM; set -m; "$@" & set +m; wait $!' alone "$@"
}

# Runs a bash command in the root as root, with a clean environment and
# CI=true, this machine's /sys and /dev, and shared memory of its own (the
# fuzzers' scratch folder). The root is a mount of its own, so that what
# runs in it can make namespaces of its own in turn (the guards' unshare).
in_root() {
    proc=$root/proc alone sh -c 'mount --rbind "$0" "$0" && mount --bind /sys "$0/sys" && mount --rbind /dev "$0/dev" &&
        mount -t tmpfs -o mode=1777 popgen-shm "$0/dev/shm" && exec chroot "$@"' "$root" "$root" \
        /usr/bin/env -i HOME=/root LANG=C.UTF-8 CI=true PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        bash -c "$1"
}

debian_root() {
    debian_version=$1 debian_keep=$2
    local release=${DEBIAN_CODENAMES[$debian_version]:-}
    [ -n "$release" ] || { echo "No Debian $debian_version; one of: ${!DEBIAN_CODENAMES[*]}" >&2; return 2; }
    [ "$(id -u)" -eq 0 ] || { echo "$(basename "$0") needs root (mmdebstrap, unshare, chroot, mount)." >&2; return 1; }

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
    debian_work=$(realpath "$(mktemp -d "${POPGEN_ROOTS:-${TMPDIR:-/tmp}}/popgen-debian-$debian_version.XXXXXX")")
    root="$debian_work/root"
    at_exit debian_root_finish

    # The root reaches the mirror as this machine does: with its name servers
    # (mmdebstrap copies them) and its apt settings for that (a proxy; no
    # check of a Release file's dates, which a mirror behind a cache that
    # lags needs for testing), used for the making and kept in the root.
    local setting options=(--variant=minbase --include='git ca-certificates')
    while IFS= read -r setting; do options+=(--aptopt="$setting"); done < <(
        apt-config dump | grep -E '^Acquire::(https?::Proxy|Check-Valid-Until|Check-Date) ' || true)
    # It trusts the certificate authorities added here (a proxy's that
    # inspects TLS, say), with which npm reaches its registry from here.
    if compgen -G '/usr/local/share/ca-certificates/*.crt' >/dev/null; then
        options+=(--customize-hook='cp /usr/local/share/ca-certificates/*.crt "$1/usr/local/share/ca-certificates/" &&
            chroot "$1" update-ca-certificates >/dev/null && echo "cafile=/etc/ssl/certs/ca-certificates.crt" >>"$1/etc/npmrc"')
    fi
    local status=0
    echo "=== mmdebstrap Debian $debian_version ($release) from $debian_mirror ($(date +%T))"
    alone mmdebstrap "${options[@]}" "$release" "$root" "$debian_mirror" >"$debian_work/mmdebstrap.log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        tail -n 20 "$debian_work/mmdebstrap.log"
        echo "FAILED: mmdebstrap (status $status)" >&2
        return "$status"
    fi
    git clone --quiet --no-hardlinks "$ROOT" "$root/root/project"
}

# Nothing of the root runs or is mounted by now: that ended with its namespaces.
debian_root_finish() {
    if [ "$debian_keep" -eq 1 ]; then
        echo "The Debian $debian_version root is kept: $root"
    else
        rm -rf --one-file-system "$debian_work"
    fi
}
