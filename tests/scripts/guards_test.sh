#!/usr/bin/env bash
# The scripts' own checks, each shown to fail on what it guards against:
# stand-ins for apt-get, appstreamcli and lintian, first on the PATH, say
# what the real tools would. No package is installed or checked.
#
# Usage: guards_test.sh CASE (package-findings, apt-get)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work=$(mktemp -d "${TMPDIR:-/tmp}/popgen-guards.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
export PATH="$work/bin:$PATH"
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# stand_in NAME STATUS OUTPUT [>&2]: a NAME that records its arguments,
# prints OUTPUT (with \n for line breaks), to standard error with ">&2", and
# exits with STATUS.
stand_in() {
    printf '#!/bin/sh\necho "$@" >"%s/%s.arguments"\nprintf "%s" %s\nexit %s\n' "$work" "$1" "$3" "${4:-}" "$2" \
        >"$work/bin/$1"
    chmod +x "$work/bin/$1"
}

case "${1:-}" in
package-findings)  # the accepted finding passes; any other, or a tool that failed, does not
    source "$root/scripts/lib/package-findings.sh"
    while IFS='|' read -r tool status output verdict to; do  # to: ">&2" for standard error
        stand_in "$tool" "$status" "$output" "$to"
        got=passes  # appstream_clean FILE..., lintian_clean DEB FOLDER
        "${tool%cli}_clean" some.file "$work" >"$work/log" 2>&1 || got=fails
        [ "$got" = "$verdict" ] || fail "$tool printing '$output' and exiting with $status $got:"$'\n'"$(cat "$work/log")"
    done <<'ROWS'
appstreamcli|3|W: a.b:2: url-homepage-missing\n|passes
appstreamcli|3|W: a.b:2: url-homepage-missing\nE: a.b:9: component-name-missing\n|fails
lintian|0|W: population-generator: appstream-metadata-validation-failed a.xml\n|passes
lintian|0|W: population-generator: description-synopsis-is-duplicated\n|fails
lintian|2||fails
lintian|0|Skipping population-generator.deb: it cannot be read\n|fails|>&2
ROWS
    ;;
apt-get)  # waits for the lock as long as it says, and a failure comes out
    stand_in apt-get 100 'E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 7 (apt)\n' '>&2'
    source "$root/scripts/lib/common.sh"
    as_root=()
    APT_LOCK_SECONDS=17
    status=0
    apt_get install some-package 2>"$work/err" || status=$?
    [ "$status" -eq 100 ] || fail "apt_get returned $status, not apt-get's 100"
    grep -q -- "-o DPkg::Lock::Timeout=17 install some-package" "$work/apt-get.arguments" ||
        fail "apt-get was run as: $(cat "$work/apt-get.arguments")"
    grep -q "for more than 17 s" "$work/err" || fail "said: $(cat "$work/err")"
    ;;
*) fail "no such case: ${1:-}" ;;
esac
exit "$failed"
