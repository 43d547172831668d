# The scripts' own checks, each shown to fail on its fault: stubs of the tools they run say what the real ones would.
# shellcheck disable=SC2154 # $project comes from common.bash
load ../support/common
setup() { work=$BATS_TEST_TMPDIR; stub dpkg-query 'echo "install ok installed"'; }  # ensure_packages installs nothing
teardown() { [ -z "${pids:-}" ] || kill -- $pids 2>/dev/null || true; }  # what a test started and left running
# tree SCRIPT...: a copy of those scripts and common.sh in $work/tree, of version 1.9.0, made the current folder.
tree() {
    mkdir -p "$work/tree/scripts/lib"; cd "$work/tree" || return; cp "$project/scripts/lib/common.sh" scripts/lib/
    cp "${@/#/$project/scripts/}" scripts/; echo 'project(P VERSION 1.9.0 X)' >CMakeLists.txt
}
in_script() { run bash -ec "source '$project/scripts/lib/common.sh'; $1"; }  # LINES, as a script of ours
@test "an accepted appstream or lintian finding passes; any other, or a tool that failed, fails" {
    source "$project/scripts/lib/package-findings.sh"; homepage_missing_only=1  # as appstream_clean finds in row 1
    while IFS='|' read -r tool code verdict; do  # appstream_clean FILE..., lintian_clean DEB FOLDER
        stub "$tool" "$code"; run "${tool%cli}_clean" some.file "$work"
        if [ "$verdict" = passes ]; then assert_success; else assert_failure; fi
    done <<'ROWS'
appstreamcli|echo "W: a.b:2: url-homepage-missing"; exit 3|passes
appstreamcli|printf "W: a.b:2: url-homepage-missing\nE: a.b:9: component-name-missing\n"; exit 3|fails
lintian|echo "W: population-generator: appstream-metadata-validation-failed a.xml"|passes
lintian|echo "W: population-generator: description-synopsis-is-duplicated"|fails
lintian|exit 2|fails
lintian|echo "Skipping population-generator.deb: it cannot be read" >&2|fails
ROWS
}
@test "apt_get waits for the dpkg lock as long as it is told, and says when it gave up" {
    stub apt-get 'echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 7 (apt)" >&2; exit 100'
    in_script 'as_root=() APT_LOCK_SECONDS=17; apt_get install some-package'
    assert_failure 100; assert_output --partial "held the dpkg lock for more than 17 s"
    assert_equal "$(cat "$work/apt-get.args")" "-q -y -o DPkg::Lock::Timeout=17 install some-package"
}
@test "a private display fails when its Xvfb does; running and stop go by the server itself, not its files" {
    display=(bash "$project/tests/support/private_display.sh")
    stub Xvfb 'echo "Fatal server error" >&2; exit 1'; run ! "${display[@]}" start "$work/d"
    rm "$work/bin/Xvfb"; run -0 "${display[@]}" start "$work/d" 3>&-
    pids=$(cat "$work/d/pid"); name=$output; run -0 "${display[@]}" running "$work/d"; assert_output "$name"
    kill -KILL "$pids"; sleep 1; run ! "${display[@]}" running "$work/d"  # after a crash
    "${display[@]}" start "$work/d" >/dev/null 3>&-; pids=$(cat "$work/d/pid"); "${display[@]}" stop "$work/d"
    run ps -o stat= -p "$pids"; refute_output --regexp '^[^Z]'  # (a zombie has ended)
}
@test "shell_scripts reads each file by its ending or its #!" {
    source "$project/scripts/lib/common.sh"; ROOT=$work/tree; git init -q "$ROOT"
    printf '#!/bin/sh\necho\n' >"$ROOT/bin-sh"; printf '#!/usr/bin/env bash\n' >"$ROOT/env-bash"
    echo echo >"$ROOT/plain.sh"; echo >"$ROOT/t.bats"; printf '#!/usr/bin/env python3\n' >"$ROOT/python"
    run shell_scripts; assert_equal "$(sort <<<"$output" | xargs)" "bin-sh env-bash plain.sh t.bats"
}
@test "the page's notices are each found by a name only their own text holds" {
    source "$project/scripts/lib/package-findings.sh"
    echo 'The Population generator authors; The Emscripten Authors; Rich Felker (musl)' >"$work/all.html"
    echo 'emscripten; Copyright (c) 2010-2014; MIT License; The Emscripten Authors' >"$work/some.html"
    page_notices "$work/all.html"; run ! page_notices "$work/some.html"
}
@test "workflows fails when a build or a test fails, the build beside the other's tests too" {
    source "$project/scripts/lib/common.sh"; ROOT=$work  # the build folders' locks go to $work
    for failing in nothing "cmake --build --preset "{one,two} "ctest --preset "{one,two}; do
        for tool in cmake ctest; do stub $tool "[ \"$tool \$*\" != \"$failing\" ]"; done; run workflows one two
        if [ "$failing" = nothing ]; then assert_success; else assert_failure; fi
    done
}
# besides ARGS...: $work/script, in a group of its own as a terminal's Ctrl-C reaches, with Ctrl-C's own action:
# a job beside fails, two sleeps ($pids) run beside, then ARGS run; "sleep 60" gets a Ctrl-C.
besides() {
    printf 'source %q\nbeside fails sh -c "echo said; exit 3"\nbeside sleeps sh -c "%s"\n%s\n"$@"\n' \
        "$project/scripts/lib/common.sh" 'sleep 60 & echo \$! >>pids; sleep 61 & echo \$! >>pids; touch up; wait' \
        'until [ -e up ]; do sleep 0.1; done' >"$work/script"
    cd "$work" || return; rm -f pids up  # setsid: bats's set -m makes no group where there is no terminal
    setsid env --default-signal=INT bash -e script "$@" >out 2>&1 3>&- &
    local pid=$!; if [ "$1" = sleep ]; then sleep 0.5; kill -INT -- "-$pid"; fi
    status=0; wait "$pid" || status=$?
    sleep 0.3; output=$(cat out); mapfile -t lines <out; pids=$(cat pids)
}
@test "a failure beside comes out at its join, under its name, with its status" {
    besides joined fails; assert_equal "$status" 3
    assert_line --regexp '^--- fails, run beside: [0-9]+ s, status 3$'; assert_line said
}
@test "an exit or an interrupt before the join leaves nothing running of what ran beside" {
    for row in "joined fails|3" "exit 4|4" "sleep 60|130"; do
        besides ${row%|*}; assert_equal "$status" "${row#*|}"
        assert_equal "$(ps -o stat= -p "${pids//[[:space:]]/,}" | grep -v '^Z')" ""  # (a zombie has ended)
    done
}
@test "an uninterrupted job is waited for on an early exit, not ended" {
    cd "$work"; in_script 'beside --uninterrupted slow sh -c "sleep 1; touch finished"; exit 4'
    assert_failure 4; assert [ -e finished ]
}
@test "joined, of two failures, fails with the first one's status" {
    in_script 'beside one sh -c "exit 3"; beside two sh -c "exit 5"; joined one two'; assert_failure 3
}
@test "every at_exit action runs, the last given first, and a failed one fails the exit" {
    in_script 'first() { echo first; false; }; second() { echo second; }; at_exit first; at_exit second; exit 0'
    assert_failure 1; assert_output $'second\nfirst'
}
@test "scripts/test and the fuzz stage fail when any stage fails, one beside another too, and name it" {
    mkdir -p "$work/tree/build-fuzz/fuzz"; cp -r "$project/scripts" "$work/tree/"; cd "$work/tree"
    for tool in cmake ctest llvm-symbolizer; do
        stub "$tool" "case \"\${0##*/} \$*\" in \"\$(cat $work/failing)\"*) exit 1 ;; esac"; done
    for tool in scripts/test-{shell,sanitizers,windows,arm,package,web} \
        build-fuzz/fuzz/{leading_number,generation_run}_fuzzer; do cp "$work/bin/cmake" "$tool"; done
    stub dpkg 'echo i386'; stub sudo '[ "$1" != -n ] || shift; exec "$@"'
    while IFS='|' read -r script failing said; do
        echo "$failing" >"$work/failing"; run bash "scripts/$script"
        if [ "$failing" = nothing ]; then assert_success; else assert_failure; fi
        [ -z "$said" ] || assert_line --regexp "^$said"
    done <<'ROWS'
test|nothing|.*built ahead, run beside
test|test-windows|
test|test-package|FAILED: Package
test|test-web|FAILED: Browser
test|cmake --build --preset web|FAILED: arm64, armhf and web
test-fuzz|leading_number_fuzzer|FINDING in leading_number
test-fuzz|generation_run_fuzzer|FINDING in generation_run
ROWS
}
@test "test-windows fails when dist/ keeps a zip of an older version" {
    tree test-windows; stub cmake; stub ctest
    printf 'mkdir -p dist && cd dist && echo zip >a.zip && sha256sum a.zip >SHA256SUMS\n' >scripts/package
    run bash scripts/test-windows x64; assert_failure 1
    assert_output --partial "FAILED: dist/ keeps population-generator-0.0.1-windows-x64.zip"
}
@test "test-reproducible --against DIR names a package of DIR that differs from its build's" {
    command -v reprotest diffoscope faketime >/dev/null || skip "no reprotest, diffoscope or faketime here"
    tree test-reproducible; mkdir "$work/dir"; echo other >"$work/dir/a.html"
    printf 'mkdir dist && echo made >dist/a.html && cd dist && sha256sum a.html >SHA256SUMS\n' >scripts/package
    chmod +x scripts/package; git init -q; git add -A; git -c user.name=t -c user.email=t@t commit -qm t
    run bash scripts/test-reproducible --against "$work/dir"; assert_failure  # diffoscope: the package, the change
    assert_line --regexp '^│ │ ├── \+\+\+ .*/source-root/dist/a\.html$'
    assert_line '│ │ │ -other'; assert_line '│ │ │ +made'
}
@test "two builds of one folder never overlap" {
    source "$project/scripts/lib/common.sh"; ROOT=$work; stub cmake "mkdir $work/b || exit 1; sleep 0.3; rmdir $work/b"
    configured_and_built one >/dev/null 2>&1 3>&- & first=$!
    configured_and_built one; wait "$first"
}
@test "two packagings never overlap; SHA256SUMS checks all of dist/, and no package of another version stays" {
    tree package; mkdir dist; touch dist/population-generator{-0.9.0.html,_0.9.0_amd64.deb,-1.9.0.html}
    printf 'mkdir %s/busy || exit 1\nsleep 0.3\nrmdir %s/busy\ntouch %s/dist/made\n' "$work" "$work" "$PWD" \
        >scripts/lib/package-deb.sh
    bash scripts/package deb >/dev/null 2>&1 3>&- & first=$!
    bash scripts/package deb; wait "$first"; cd dist; assert_equal "$(ls | wc -l)" 3
    run -0 sha256sum -c SHA256SUMS; assert_output $'made: OK\npopulation-generator-1.9.0.html: OK'
}
@test "test-plain-build: what runs beside mmdebstrap runs, and a failed mmdebstrap fails with its status" {
    [ "$(id -u)" -eq 0 ] || skip "mmdebstrap's stub runs only as root (unshare)"
    stub mmdebstrap 'echo "E: no such mirror"; exit 7'; export TMPDIR=$work
    run bash "$project/scripts/test-plain-build" --while touch "$work/ran"
    assert_failure 7; assert_line "E: no such mirror"; assert_line "FAILED: mmdebstrap (status 7)"
    assert [ -e "$work/ran" ]
}
@test "test-plain-build --while COMMAND fails when COMMAND does" {
    [ "$(id -u)" -eq 0 ] || skip "mmdebstrap's stub runs only as root (unshare)"
    stub mmdebstrap; export TMPDIR=$work
    run bash "$project/scripts/test-plain-build" --while sh -c 'exit 9'; assert_failure 9
}
@test "nothing started in a Debian root's namespaces outlives them, a process of its own session too" {
    [ "$(id -u)" -eq 0 ] || skip "unshare runs only as root"
    in_script "source '$project/scripts/lib/debian-root.sh'; alone sh -c '
        setsid sh -c \"touch $work/up; sleep 30; :\" $work/left >/dev/null 2>&1 3>&- &
        until [ -e $work/up ]; do sleep 0.1; done'"
    assert_success; pids=$(pgrep -f "$work/left" | sed 's/^/-/'); assert_equal "$pids" ""  # its group, found by its mark
}
@test "a folder below the top one whose test lacks the fixture is refused" {
    mkdir -p "$work/p/sub"; echo 'add_test(NAME bare COMMAND true)' >"$work/p/sub/CMakeLists.txt"
    printf 'cmake_minimum_required(VERSION 3.25)\nproject(p NONE)\ninclude(%s/cmake/test-fixture.cmake)\n%s\n%s\n' \
        "$project" 'enable_testing()' 'add_subdirectory(sub)' >"$work/p/CMakeLists.txt"
    run ! cmake -S "$work/p" -B "$work/p/b" -DCMAKE_SYSTEM_NAME=Windows
    assert_output --partial 'sub/CMakeLists.txt: the tests bare do not require'
}
# release_tree: a scratch clone holding scripts/release at 1.9.0, its packagers stubs that add dist/p and its
# SHA256SUMS, a stale dist/ and a throwaway SSH key to sign with, which $work/signers allows.
release_tree() {
    tree release; git init -q; git config user.name t; git config user.email t@t; echo /dist/ >.gitignore
    printf '## Unreleased\n\n## 1.9.0 - 2026-12-07\n' >CHANGELOG.md; echo population-generator_1.9.0_all.deb >README.md
    printf 'mkdir -p dist && echo p >dist/p && cd dist && sha256sum p >SHA256SUMS\n' | tee scripts/package >scripts/test-reproducible
    git add -A; git commit -qm base; mkdir dist; touch dist/stale; ssh-keygen -q -t ed25519 -N '' -f "$work/key"
    git config gpg.format ssh; git config user.signingkey "$work/key"; git config gpg.ssh.allowedSignersFile "$work/signers"
    echo "maintainer namespaces=\"git,file\" $(cat "$work/key.pub")" >"$work/signers"
}
@test "release refuses an empty change log, a malformed version, changes, an older version or no key, changing nothing" {
    release_tree
    while IFS='|' read -r version said change; do
        eval "$change"; before=$(git rev-parse HEAD; git status --porcelain; git tag; ls dist; cat CHANGELOG.md)
        run ! bash scripts/release "$version"; assert_output --partial "$said"
        assert_equal "$(git rev-parse HEAD; git status --porcelain; git tag; ls dist; cat CHANGELOG.md)" "$before"
    done <<'ROWS'
1.9.1|'## Unreleased' in CHANGELOG.md is empty|
1.9|as MAJOR.MINOR.PATCH|sed -i 's/^## Unreleased$/&\n\n- A change./' CHANGELOG.md
1.9.1|uncommitted changes|
1.9.0|not above the current version, 1.9.0|git commit -qam change
1.8.10|not above the current version, 1.9.0|
1.9.1|(gpg.format ssh; openpgp or ssh, whose .pub lies beside it) did not sign|git config user.signingkey "$work/none"
1.9.1|git has no key to sign with (for a trial|git config --unset user.signingkey
ROWS
    run -0 bash scripts/release --unsigned 1.9.1; assert_equal "$(git tag -v v1.9.1 2>&1 | tail -n 1)" "error: no signature found"
    assert_equal "${lines[-1]}" "UNSIGNED (--unsigned): a trial, not to be published. Undo it: git tag -d v1.9.1 && git reset --hard HEAD~1"
}
@test "release 1.10.0 after 1.9.0: the commit, its tag, the headings, a fresh dist/, signed; a changed byte fails" {
    release_tree; sed -i 's/^## Unreleased$/&\n\n- A change./' CHANGELOG.md; git commit -qam change
    run -0 bash scripts/release 1.10.0
    assert_equal "$(git log -1 --format=%s v1.10.0), $(git cat-file -t v1.10.0), $(git status --porcelain; LC_ALL=C ls -m dist)" \
        "Release 1.10.0, tag, SHA256SUMS, SHA256SUMS.sig, p"
    run -0 git tag -v v1.10.0; assert_output --partial 'Good "git" signature for maintainer'
    checked() { ssh-keygen -Y verify -f "$work/signers" -I maintainer -n file -s dist/SHA256SUMS.sig <dist/SHA256SUMS; }
    run -0 checked; sed -i '1s/^./x/' dist/SHA256SUMS; run ! checked
    assert_equal "$(grep -c 1.10.0 CMakeLists.txt README.md | xargs)" "CMakeLists.txt:1 README.md:1"
    assert_equal "$(grep '^[#-]' CHANGELOG.md | xargs -d '\n')" \
        "## Unreleased ## 1.10.0 - $(date +%F) - A change. ## 1.9.0 - 2026-12-07"
}
@test "trace_dll_search_calls shows reg's error when Wine did not take the setting" {
    source "$project/tests/support/wine_relay.sh"
    stub wine 'echo "reg: Unable to access or create the specified registry key"; exit 1'
    run ! trace_dll_search_calls wine; assert_output "reg: Unable to access or create the specified registry key"
}
@test "trace_dll_search_calls is not held up by a Wine service that outlives reg and keeps its output" {
    stub wine "sleep 20 & echo \$! >$work/service"; status=0
    timeout 5 bash -c "source '$project/tests/support/wine_relay.sh'; trace_dll_search_calls wine" &>/dev/null 3>&- ||
        status=$?
    pids=$(cat "$work/service"); assert_equal "$status" 0
}
