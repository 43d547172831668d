#!/usr/bin/env bash
# The scripts' own checks, each shown to fail on what it guards against:
# stand-ins for apt-get, appstreamcli and lintian, first on the PATH, say
# what the real tools would. No package is installed or checked.
#
# Usage: guards_test.sh CASE, one of the branches of the case below (tests/CMakeLists.txt runs each)
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

# tree SCRIPT...: a copy of those scripts and common.sh in $work/tree, whose ROOT it is, of version 1.0.0.
tree() { mkdir -p "$work/tree/scripts/lib" && cp "$root/scripts/lib/common.sh" "$work/tree/scripts/lib/" && cp "${@/#/$root/scripts/}" "$work/tree/scripts/"
    echo 'project(P VERSION 1.0.0 LANGUAGES CXX)' >"$work/tree/CMakeLists.txt"; }
stand_in dpkg-query 0 'install ok installed'  # so ensure_packages installs nothing

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
beside)  # a failure beside comes out under its name; an exit or interrupt before the join leaves nothing running
    printf 'source %q\nbeside fails sh -c "echo said; exit 3"\nbeside sleeps sh -c "sleep 9%s1 & sleep 9%s2"\n"$@"\n' \
        "$root/scripts/lib/common.sh" $$ $$ >"$work/script"  # the sleeps' times: this run's own
    for row in "joined fails|3" "exit 4|4" "sleep 60|130"; do
        # In a group of its own, as a terminal's Ctrl-C reaches, and with Ctrl-C's action, whatever this one inherited.
        set -m; env --default-signal=INT bash -e "$work/script" ${row%|*} >"$work/out" 2>&1 &
        pid=$! && set +m && sleep 0.5 && { [ "${row%|*}" != "sleep 60" ] || kill -INT -- "-$pid"; }
        status=0 && { wait "$pid" || status=$?; } && sleep 0.3
        [ "$status" = "${row#*|}" ] && { [ "$status" != 3 ] || grep -q '^said' "$work/out"; } || fail "'$row' gave $status:"$'\n'"$(cat "$work/out")"
        ! pgrep -f "sleep 9$$[12]" >/dev/null || { pkill -f "sleep 9$$[12]"; fail "'$row' left running what ran beside"; }
    done ;;
stages)  # scripts/test and the fuzz stage on stand-ins: any stage, one beside another too, fails the whole
    mkdir "$work/tree" && cp -r "$root/scripts" "$work/tree/" && mkdir -p "$work/tree/build-fuzz/fuzz" && cd "$work/tree"
    printf '#!/bin/sh\ncase "${0##*/} $*" in "$(cat %s/failing)"*) exit 1 ;; esac\n' "$work" >"$work/bin/cmake"
    for tool in "$work"/bin/{ctest,llvm-symbolizer} scripts/test-{shell,sanitizers,windows,arm,package,web} build-fuzz/fuzz/{leading_number,generation_run}_fuzzer; do
        cp "$work/bin/cmake" "$tool"; done && stand_in dpkg 0 'i386\n' && printf '#!/bin/sh\n[ "$1" != -n ] || shift\nexec "$@"\n' >"$work/bin/sudo"
    chmod +x "$work"/bin/* scripts/* build-fuzz/fuzz/*
    while IFS='|' read -r script failing said; do
        echo "$failing" >"$work/failing" && status=0 && bash "scripts/$script" >"$work/out" 2>&1 || status=$?
        [ "$status" = "$([ "$failing" = nothing ]; echo $?)" ] && grep -q "$said" "$work/out" || fail "$script with $failing failing: $status"
    done <<'ROWS'
test|nothing|built ahead, run beside
test|test-windows|
test|test-package|^FAILED: Package
test|test-web|^FAILED: Browser
test|cmake --build --preset web|^FAILED: arm64, armhf and web
test-fuzz|leading_number_fuzzer|^FINDING in leading_number
test-fuzz|generation_run_fuzzer|^FINDING in generation_run
ROWS
    ;;
against)  # test-reproducible --against DIR names a package of DIR that differs from the build's
    tree test-reproducible && mkdir "$work/dir" && echo other >"$work/dir/a.html"
    printf '#!/bin/sh\nshift 2\nexec "$@"\n' >"$work/bin/faketime"
    printf '#!/bin/sh\nmkdir dist && echo made >dist/a.html && cd dist && sha256sum a.html >SHA256SUMS\n' >"$work/tree/scripts/package"
    chmod +x "$work"/bin/* "$work"/tree/scripts/* && cd "$work/tree" && git init -q && git add -A && git -c user.name=t -c user.email=t@t commit -qm t
    ! bash scripts/test-reproducible --against "$work/dir" >"$work/out" 2>&1 && grep -q '^DIFFERS: a.html' "$work/out" ||
        fail "a differing package:"$'\n'"$(cat "$work/out")" ;;
locks)  # two builds of one folder, and two packagings, never overlap
    tree package && mkdir "$work/tree/dist" && touch "$work/tree/dist/population-generator-"{0.9.0,1.0.0}.html && source "$work/tree/scripts/lib/common.sh"
    printf '#!/bin/sh\nmkdir %s/busy || exit 1\nsleep 0.3\nrmdir %s/busy\ntouch %s/dist/made\n' "$work" "$work" "$ROOT" |
        tee "$work/bin/cmake" >"$ROOT/scripts/lib/package-deb.sh" && chmod +x "$work/bin/cmake"
    for run in "configured_and_built one" "bash $ROOT/scripts/package deb"; do
        $run >/dev/null 2>&1 & first=$!
        status=0 && { $run >/dev/null 2>&1 || status=1; } && { wait "$first" || status=1; } && [ $status = 0 ] || fail "$run, twice at once, failed"
    done  # and dist/SHA256SUMS checks all that dist/ holds, an earlier call's package too, the older version gone
    [ "$(cd "$ROOT/dist" && sha256sum -c SHA256SUMS | tr '\n' ' ')" = "made: OK population-generator-1.0.0.html: OK " ] || fail "dist/: $(ls "$ROOT/dist"); SHA256SUMS: $(cat "$ROOT/dist/SHA256SUMS")" ;;
debian-root)  # the command beside debootstrap runs, and a failed debootstrap fails, shown
    [ "$(id -u)" -eq 0 ] || { echo "SKIPPED: debootstrap's stand-in runs only as root"; exit 77; }
    stand_in debootstrap 1 'E: no such mirror\n' && export TMPDIR=$work
    ! bash "$root/scripts/test-plain-build" --while touch "$work/ran" >"$work/out" 2>&1 && [ -e "$work/ran" ] &&
        grep -q '^E: no such mirror' "$work/out" || fail "ran beside: $(ls "$work"); said: $(cat "$work/out")"
    ;;
fixture-check)  # a folder below the top one whose test lacks the fixture is refused
    mkdir -p "$work/p/sub" && echo 'add_test(NAME bare COMMAND true)' >"$work/p/sub/CMakeLists.txt"
    printf 'cmake_minimum_required(VERSION 3.25)\nproject(p NONE)\ninclude(%s/cmake/test-fixture.cmake)\nenable_testing()\nadd_subdirectory(sub)\n' "$root" >"$work/p/CMakeLists.txt"
    ! cmake -S "$work/p" -B "$work/p/b" -DCMAKE_SYSTEM_NAME=Windows >"$work/out" 2>&1 &&
        grep -q 'sub/CMakeLists.txt: the tests bare do not require' "$work/out" || fail "configure said: $(cat "$work/out")" ;;
release)  # scripts/release in a scratch clone, its packagers stand-ins: each refusal changes nothing; then the commit, tag and headings
    tree release && cd "$work/tree" && git init -q
    printf '## Unreleased\n\n## 1.0.0 - 2026-12-07\n' >CHANGELOG.md && echo 'population-generator_1.0.0_amd64.deb' >README.md
    printf '#!/bin/sh\nmkdir -p dist && touch dist/p\n' | tee scripts/package >scripts/test-reproducible && echo /dist/ >.gitignore
    git config user.name t && git config user.email t@t && git add -A && git commit -qm base
    while IFS='|' read -r version said change; do
        eval "$change" && before=$(git rev-parse HEAD; git status --porcelain; cat CHANGELOG.md)
        ! bash scripts/release $version >"$work/out" 2>&1 && grep -q "$said" "$work/out" &&
            [ "$(git rev-parse HEAD; git status --porcelain; cat CHANGELOG.md)" = "$before" ] || fail "release $version:"$'\n'"$(cat "$work/out")"
    done <<'ROWS'
1.0.1|'## Unreleased' in CHANGELOG.md is empty|
1.0|as MAJOR.MINOR.PATCH|sed -i 's/^## Unreleased$/&\n\n- A change./' CHANGELOG.md
1.0.1|uncommitted changes|
1.0.0|not above the current version, 1.0.0|git commit -qam change
0.9.9|not above the current version, 1.0.0|
ROWS
    bash scripts/release 1.0.1 >"$work/out" 2>&1 || fail "release 1.0.1 failed:"$'\n'"$(cat "$work/out")"
    [ "$(git log -1 --format=%s v1.0.1) $(git cat-file -t v1.0.1) $(grep -c 1.0.1 CMakeLists.txt README.md | tr '\n' ' ')" = \
      "Release 1.0.1 tag CMakeLists.txt:1 README.md:1 " ] && [ -z "$(git status --porcelain)" ] || fail "the release commit: $(git show --stat)"
    [ "$(grep '^[#-]' CHANGELOG.md)" = "$(printf '## Unreleased\n## 1.0.1 - %s\n- A change.\n## 1.0.0 - 2026-12-07' "$(date +%F)")" ] ||
        fail "the change log: $(cat CHANGELOG.md)" ;;
*) fail "no such case: ${1:-}" ;;
esac
exit "$failed"
