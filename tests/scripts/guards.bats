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
# ended PIDS...: waits, 10 s at most, until none of PIDS runs (a zombie has ended).
ended() { local IFS=,; timeout 10 sh -c 'while ps -o stat= -p "$0" 2>/dev/null | grep -qv ^Z; do sleep 0.1; done' "$*"; }
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
@test "every at_exit action runs, the last given first, and a failed one fails the exit" {
    in_script 'first() { echo first; false; }; second() { echo second; }; at_exit first; at_exit second; exit 0'
    assert_failure 1; assert_output $'second\nfirst'
}
@test "test-windows fails when dist/ keeps a zip of an older version" {
    tree test-windows; stub cmake; stub ctest
    printf 'mkdir -p dist && cd dist && echo zip >a.zip && sha256sum a.zip >SHA256SUMS\n' >scripts/package
    run bash scripts/test-windows x64; assert_failure 1
    assert_output --partial "FAILED: dist/ keeps population-generator-0.0.1-windows-x64.zip"
}
@test "test-reproducible --against DIR names a package of DIR that differs from its build's" {
    command -v reprotest diffoscope faketime >/dev/null || skip "no reprotest, diffoscope or faketime here"
    tree test-reproducible; mkdir "$work/dir"; printf 'other\nt\nz\n' >"$work/dir/a.html"  # (et_EE sorts z before t)
    echo 'mkdir dist && cd dist && printf "made\nt\nz\n" | sort >a.html && sha256sum a.html >SHA256SUMS' >scripts/package
    chmod +x scripts/package; git init -q; git add -A; git -c user.name=t -c user.email=t@t commit -qm t
    run bash scripts/test-reproducible --against "$work/dir"; assert_failure 1  # diffoscope: the package, the change
    assert_line --regexp '^│ │ ├── \+\+\+ .*/source-root/dist/a\.html$'
    assert_line '│ │ │ -other'; assert_line '│ │ │ +made'; assert_line '│ │ │ +t'  # sorted in et_EE
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
@test "test-fuzz fails on a finding of either target, and names it" {
    tree test-fuzz; mkdir -p build-fuzz/fuzz fuzz/corpus; stub cmake; stub llvm-symbolizer
    for target in leading_number generation_run; do
        printf '#!/bin/sh
[ "$FAILING" != %s ]
' $target >"build-fuzz/fuzz/${target}_fuzzer"; done
    chmod +x build-fuzz/fuzz/*; FAILING=none run -0 bash scripts/test-fuzz
    for target in leading_number generation_run; do
        FAILING=$target run -1 bash scripts/test-fuzz; assert_line "FINDING in $target: "; done
}
@test "a run of the stages names a failed one with its output; a TERM or Ctrl-C to it leaves no process or root" {
    [ "$(id -u)" -eq 0 ] || skip "the run's namespaces are made only as root"
    tree build; cp "$project/scripts/lib/debian-root.sh" scripts/lib/; cp -r "$project/stages" .
    export WORK=$work TMPDIR=$work
    cat >stages/CMakeLists.txt <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(stages NONE)
enable_testing()
add_test(NAME fails COMMAND sh -c "echo said; exit 3")
add_test(NAME naps COMMAND sh -c "setsid sleep $ENV{NAP} & touch $POPGEN_ROOTS/root $ENV{WORK}/up; sleep $ENV{NAP}")
set_tests_properties(fails naps PROPERTIES LABELS test)
CMAKE
    for row in "none|8" "TERM|143" "INT|130"; do
        rm -f "$work/up"; export NAP=0.5; [ "${row%|*}" = none ] || NAP=61.25
        setsid env --default-signal=INT bash -c 'source scripts/lib/common.sh; run_stages test' >out 2>&1 3>&- & pid=$!
        if [ "${row%|*}" = INT ]; then pid=-$pid; fi  # Ctrl-C reaches the group; a TERM, the script
        if [ "${row%|*}" != none ]; then until [ -e "$work/up" ]; do sleep 0.1; done; kill -"${row%|*}" -- "$pid"; fi
        status=0; wait "${pid#-}" || status=$?
        [ "$status" = "${row#*|}" ] || cat out; assert_equal "$status" "${row#*|}"
        timeout 5 sh -c "while pgrep -f 'sleep ${NAP/./[.]}' || losetup -a | grep -F '$work'; do sleep 0.1; done"
        assert [ ! -e build-stages/roots/root ]
        [ "${row%|*}" != none ] || assert_equal "$(grep -cE '^said$|^\s+1 - fails \(Failed\)' out)" 2  # (labels may follow)
    done
}
@test "nothing started in a Debian root's namespaces outlives them, on a KILL or a Ctrl-C too; its root is a mount" {
    [ "$(id -u)" -eq 0 ] || skip "unshare runs only as root"
    printf 'source %q; source %q; eval "$1"\n' "$project/scripts/lib/"{common,debian-root}.sh >"$work/script"
    for row in exit\|0 KILL\|137 INT\|130; do  # the script in a group of its own, as a terminal's Ctrl-C reaches
        rm -f "$work/up"; setsid env --default-signal=INT bash -e "$work/script" "alone sh -c 'setsid sh -c \
            \"touch $work/up; sleep 30; :\" $work/left >/dev/null 2>&1 3>&- & until [ -e $work/up ]; do sleep 0.1; done
            [ ${row%|*} = exit ] || sleep 30'" &>/dev/null 3>&- & pid=$!  # left: a session of its own
        until [ -e "$work/up" ]; do sleep 0.1; done; pids=$(pgrep -f "$work/left") || true
        case $row in KILL*) kill -KILL "$(pgrep -P "$pid" -x unshare)" ;; INT*) kill -INT -- "-$pid" ;; esac
        ended $pids; status=0; wait "$pid" || status=$?; assert_equal "$status" "${row#*|}"
    done
    root=$work/root; mkdir -p "$root"/{usr,proc,sys,dev}; for dir in bin lib lib64; do ln -s "usr/$dir" "$root"; done
    run -0 unshare -m bash -e "$work/script" "mount --bind /usr $root/usr; root=$root in_root 'unshare --mount true'"
}
@test "debian_root makes the root with the host's apt settings for reaching the mirror, and fails with mmdebstrap" {
    [ "$(id -u)" -eq 0 ] || skip "mmdebstrap's stub runs only as root (unshare)"; cd "$work"
    stub mmdebstrap 'echo "E: no such mirror"; exit 7'
    stub apt-config 'printf "%s\n" "APT::Architecture \"amd64\";" "Acquire::http::Proxy \"http://p\";"'
    in_script "source '$project/scripts/lib/debian-root.sh'; TMPDIR=$work; debian_root 13 0"
    assert_failure 7; assert_line "E: no such mirror"
    run -0 grep -o -- '--aptopt=[^;]*;' mmdebstrap.args; assert_output '--aptopt=Acquire::http::Proxy "http://p";'
}
@test "a folder below the top one whose test lacks the fixture is refused" {
    mkdir -p "$work/p/sub"; echo 'add_test(NAME bare COMMAND true)' >"$work/p/sub/CMakeLists.txt"
    printf 'cmake_minimum_required(VERSION 3.25)\nproject(p NONE)\ninclude(%s/cmake/test-fixture.cmake)\n%s\n%s\n' \
        "$project" 'enable_testing()' 'add_subdirectory(sub)' >"$work/p/CMakeLists.txt"
    run ! cmake -S "$work/p" -B "$work/p/b" -DCMAKE_SYSTEM_NAME=Windows
    assert_output --partial 'sub/CMakeLists.txt: the tests bare do not require'
}
@test "a bats test CTest runs passes, by a name with signs, and fails once the file names it otherwise" {
    mkdir "$work/p"; cd "$work/p"; printf '@test "a (b) c.d+" {\n    true\n}\n' >t.bats
    printf 'cmake_minimum_required(VERSION 3.25)\nproject(p NONE)\n%s\nenable_testing()\nadd_bats_tests(p %s/t.bats)\n' \
        "include($project/cmake/bats-tests.cmake)" "$PWD" >CMakeLists.txt; cmake -B b >/dev/null; cd b; run -0 ctest
    sed -i 's/(b)/(B)/' ../t.bats; run -8 ctest; assert_line $'\t  1 - p_a_b_c_d (Failed)'
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
@test "trace_dll_search_calls and measure-startup are not held up by a Wine service that keeps their output" {
    stub wine "sleep 20 & echo \$! >>$work/service"; stub wineserver; stub cmake '[ "$1" != -S ] || mkdir -p "$4"'
    tree measure-startup; install -D /dev/null tests/support/private_display.sh; stub git 'tar -c -T /dev/null'
    for run in "trace_dll_search_calls wine" "scripts/measure-startup HEAD"; do  # their output: where the service's goes
        run timeout 5 bash -c "source '$project/tests/support/wine_relay.sh'; $run &>/dev/null" 3>&-
        pids=$(cat "$work/service"); assert_success
    done
    teardown; ended $pids  # what the stubs left running, ended by teardown
}
@test "test-package fails on the installed command line, window or purge in its root, and installs nothing here" {
    [ "$(id -u)" -eq 0 ] || skip "unshare runs only as root"; export TMPDIR=$work POPGEN_DEB=$work/p; touch "$work/p"
    stub mmdebstrap 'eval r=\${$(($# - 1))}; mkdir -p "$r/proc" "$r/sys" "$r/dev" "$r/tmp" "$r$BATS_TEST_TMPDIR"
        ln -s usr/bin usr/lib usr/lib64 "$r"'; stub dpkg-deb 'echo 1.9.0'  # a root of this machine's programs, read-only
    stub chroot "for d in etc usr/bin usr/lib/x86_64-linux-gnu usr/lib64 usr/local/bin; do
        mkdir -p \"\$1/\$d\" && mount -o bind,ro \"/\$d\" \"\$1/\$d\"; done
        mount --bind $work/bin \"\$1/usr/local/bin\" && exec /usr/sbin/chroot \"\$@\""
    while IFS='|' read -r tool code said; do
        stub population-generator-cli 'cp /root/project/tests/data/default_game_list.txt files/game_list.txt; echo 1.9.0'
        stub bash 'case $1 in */real_window_test.sh) exit 0; esac; exec /usr/bin/bash "$@"'; stub apt-get
        [ -z "$tool" ] || stub "$tool" "$code"; run bash "$project/scripts/test-package" </dev/null
        assert_line --partial "$said"; if [[ $said == FAILED* ]]; then assert_failure; else assert_success; fi
    done <<'ROWS'
population-generator-cli|exit 1|FAILED: the installed command line
bash|case $1 in */real_window_test.sh) exit 1; esac; exec /usr/bin/bash "$@"|FAILED: the installed window
apt-get|case $5 in purge) touch /root/left; esac|FAILED: purging population-generator left the files above
||Package checks passed
ROWS
    assert [ ! -e "$work/apt-get.args" ]; run -0 ls "$work"; refute_output --partial popgen-debian  # the root gone
}
