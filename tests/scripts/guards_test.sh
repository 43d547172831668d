#!/usr/bin/env bash
# The scripts' own checks, each shown to fail on what it guards against:
# stand-ins for apt-get, appstreamcli and lintian, first on the PATH, say
# what the real tools would. No package is installed or checked.
#
# Usage: guards_test.sh CASE (package-findings, apt-get, private-display, shell-scripts, page-notices, workflows)
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
private-display)  # a start that fails fails; running and stop go by the server itself, not its files
    display="bash $root/tests/support/private_display.sh"
    stand_in Xvfb 1 'Fatal server error\n' '>&2'
    ! $display start "$work/d" 2>/dev/null || fail "a start whose Xvfb failed succeeded"
    rm "$work/bin/Xvfb"
    [ "$($display start "$work/d")" = "$($display running "$work/d")" ] || fail "running names another display"
    kill -KILL "$(cat "$work/d/pid")" && sleep 1  # as a crash would
    ! $display running "$work/d" || fail "running names the display of a server that has ended"
    $display start "$work/d" >/dev/null && pid=$(cat "$work/d/pid") && { $display stop "$work/d" || true; }
    [[ $(ps -o stat= -p "$pid") != [^Z]* ]] || { kill "$pid"; fail "stop left the server running"; }  # (a zombie has ended)
    ;;
shell-scripts)  # what shellcheck reads: each file by its ending or its #! (rows sorted)
    source "$root/scripts/lib/common.sh"
    ROOT="$work/tree" && git init -q "$ROOT" && expected=
    while IFS='|' read -r name first listed; do
        printf '%s\necho\n' "$first" >"$ROOT/$name"
        [ "$listed" = no ] || expected+="$name "
    done <<'ROWS'
bin-sh|#!/bin/sh
env-bash|#!/usr/bin/env bash
plain.sh|echo
python|#!/usr/bin/env python3|no
ROWS
    [ "$(shell_scripts | sort | tr '\n' ' ')" = "$expected" ] || fail "read: $(shell_scripts | sort | tr '\n' ' ')"
    ;;
page-notices)  # the page's licence and notices, each by a name only its own text holds
    source "$root/scripts/lib/package-findings.sh"
    echo 'The Population generator authors; The Emscripten Authors; Rich Felker (musl)' >"$work/all.html"
    echo 'emscripten; Copyright (c) 2010-2014; MIT License; The Emscripten Authors' >"$work/some.html"
    page_notices "$work/all.html" || fail "a page with every notice fails"
    ! page_notices "$work/some.html" 2>/dev/null || fail "a page without our licence and musl's notice passes"
    ;;
workflows)  # a failed build or test fails it, the build made beside the other's tests too
    source "$root/scripts/lib/common.sh" && ROOT=$work  # the build folders' locks go to $work
    for failing in nothing "cmake --build --preset one" "cmake --build --preset two" "ctest --preset one" "ctest --preset two"; do
        for tool in cmake ctest; do printf '#!/bin/sh\n[ "%s $*" != "%s" ]\n' "$tool" "$failing" >"$work/bin/$tool"; chmod +x "$work/bin/$tool"; done
        got=0 && { workflows one two >/dev/null 2>&1 || got=1; }
        [ "$got" = "$([ "$failing" = nothing ]; echo $?)" ] || fail "workflows returned $got when '$failing' fails"
    done ;;
*) fail "no such case: ${1:-}" ;;
esac
exit "$failed"
