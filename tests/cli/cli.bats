#!/usr/bin/env bats
# population-generator-cli run as a script would, in a fresh folder with an empty "files": its exit status, its
# messages and the file. POPGEN_CLI is the program, after its emulator if any; POPGEN_GOLDEN, the golden file.
load ../support/common

setup() {
    read -ra program <<<"$POPGEN_CLI"
    golden=$POPGEN_GOLDEN list=files/game_list.txt
    source "$BATS_TEST_DIRNAME/../support/list_layout.sh"
    cd "$BATS_TEST_TMPDIR" && mkdir files
}
windows() { [[ ${program[-1]} == *.exe ]]; }

# cli ARGUMENTS...: runs the program; $status, its standard output in $output and $lines, its standard error in $stderr,
# from files (read with LF): not a pipe, nor bats's fd 3, which Wine's services, outliving the program, would hold.
cli() {
    local code
    # Wine's loader now and then hands the program to start.exe, which says it could not start it: run again, once.
    for _ in 1 2; do
        code=0; "${program[@]}" "$@" >out 2>err </dev/null 3>&- || code=$?
        windows && grep -q '^Application could not be started' out || break
    done
    if windows; then run grep -v $'\r$' out err; else run grep $'\r' out err; fi
    assert_failure 1  # no line but with CR LF on Windows, with LF alone on Linux
    sed -i 's/\r$//' out err
    status=$code output=$(<out) stderr=$(<err)
    mapfile -t lines <out && cat err  # which bats shows when the test fails
}

# From here on the program, copied where user 4242 can reach it, runs as that user (under the emulator, if any).
as_other_user() {
    { [ "$(id -u)" -eq 0 ] && ! windows; } || skip "POSIX users and links, which root alone can switch"
    local dir=$PWD
    while chmod a+x "$dir" && [ "$dir" != "$BATS_RUN_TMPDIR" ]; do dir=${dir%/*}; done
    cp "${program[-1]}" program
    program=(setpriv --reuid=4242 --regid=4242 --clear-groups "${program[@]:0:${#program[@]}-1}" "$PWD/program")
}

# check_values PLAYERS MIN MAX...: the list, $list, holds exactly PLAYERS players, and the values of players
# 2.. lie in the ranges given as two numbers a column.
check_values() {
    run awk -v players="$1" -v bounds="${*:2}" -v before="$list_before" -v block="$list_block" '
        BEGIN { split(bounds, b, " ") } { sub(/\r$/, ""); v = $0 + 0 }
        NR > before { i = (NR - before - 1) % block; p = int((NR - before - 1) / block) + 1
                  if (i == 0 && v != p) print "line " NR ": player " $0 ", not " p
                  if (i >= 1 && i < block - 1 && p > 1 && (v < b[2 * i - 1] || v > b[2 * i]))
                      print "player " p ", column " i ": " $0 " outside " b[2 * i - 1] ".." b[2 * i] }
        END { if (NR != before + block * players) print NR " lines for " players " players" }' "$list"
    assert_output ''
}
ranges=(--rook 100 200 --knight 250 350 --bishop 300 300 --queen -900 -800 --moves -5 5)

@test "with no option it writes what the window's first press writes, quietly" {
    cli
    assert_success
    cmp "$list" "$golden"
    assert_equal "$output$stderr" ''
}

@test "each general text follows its key, and each seed draws values of its own in the ranges given" {
    cli --seed 7 --players 200 --depth-black 7 --depth-white 3 --generations 12 --time-limit 60 "${ranges[@]}"
    assert_success
    run diff <(paste -d '\n' <(sed -n '1~2p' "$golden" | head -n 5) <(printf '%s\r\n' 7 3 200 12 60)) \
        <(head -n 10 "$list")
    assert_success
    check_values 200 100 200 250 350 300 300 -900 -800 -5 5
    mv "$list" seven && cli --seed 8 --players 200 "${ranges[@]}"
    check_values 200 100 200 250 350 300 300 -900 -800 -5 5
    run cmp <(tail -n +11 seven) <(tail -n +11 "$list")
    assert_failure 1
}

@test "the largest seed draws its own players, and an option given twice counts with its last value" {
    cli --seed 4294967295 --players 3 "${ranges[@]}" --players 4 --rook 300 300
    assert_success
    check_values 4 300 300 250 350 300 300 -900 -800 -5 5
    run bash -c "tail -n +$(list_line 2) $list | tr -d '\r' | xargs"  # (seed 0 draws 2 300 309 300 -815 1 ...)
    assert_output "2 300 261 300 -844 3 3 300 328 300 -899 -2 4 300 300 300 -830 -4"
}

@test "a run that fails exits with status 1, names the field and its text, and keeps the list" {
    cli --players 12
    cp "$list" before
    # A number out of range; line breaks, which would move every later line of the list.
    for case in '--players:40000:"Number of player in population:".*"40000"' \
                $'--depth-black:5\r\nX:"Max depth of black player:" holds a line break' \
                $'--depth-black:30\r:"Max depth of black player:" holds a line break'; do
        rest=${case#*:}
        cli "${case%%:*}" "${rest%%:*}"
        assert_failure 1
        assert_regex "$stderr" "^population-generator-cli: .*${rest#*:}"
        assert_regex "$stderr" $'\npopulation-generator-cli: the population list was not changed'
        cmp "$list" before
    done
}

@test "a usage error exits with status 2, points to --help and writes nothing" {
    for arguments in "--bogus" "stray" "/players 5" "--moves -50" "--seed -1" "--seed 4294967296" "--seed 12x" \
                     "--seed" "--players --verbose" "--rook 1 --seed=3" "--directory --help"; do
        read -ra words <<<"$arguments"
        cli "${words[@]}"
        assert_failure 2
        assert_regex "$stderr" "Try '.* --help'"
        assert_equal "$(ls -A files)" ''
    done
}

@test "a value that names an option is taken when joined with =, and pointed out as forgotten otherwise" {
    cli --players=--verbose
    assert_success
    run sed -n 6p "$list"
    assert_output -- $'--verbose\r'
    cli --players --verbose
    assert_regex "$stderr" '\(to pass that text, write --players=--verbose\)'
    cli --rook 1 --seed=3
    assert_regex "$stderr" 'missing a value'
    refute_regex "$stderr" 'write --rook='  # a range cannot be joined with =
}

@test "arguments that were not expected are named as typed" {
    for case in "--players 40 --foo bar baz:arguments were not expected: --foo bar baz" \
                "stray:argument was not expected: stray" "two words:arguments were not expected: two words"; do
        read -ra words <<<"${case%%:*}"
        cli "${words[@]}"
        assert_failure 2
        assert_regex "$stderr" "${case#*:}"$'\n'
    done
}

@test "--version names the program and its version" {
    cli --version
    assert_success
    assert_output --regexp '^population-generator-cli .*[0-9]+\.[0-9]+\.[0-9]+$'
}

@test "--help, and /? on Windows, lists every option in lines that fit a console of 80 columns" {
    switches=(--help)
    ! windows || switches+=("/?")
    for switch in "${switches[@]}"; do
        cli "$switch"
        assert_success
        for option in depth-black depth-white players generations time-limit rook knight bishop queen moves \
                      seed directory verbose help version; do
            assert_line --regexp "^ +(-h, *)?--$option( |$)"
        done
        run awk 'length > 79 { print NR ": " $0 }' out
        assert_output ''
        run -0 sed 's/ $//' out; assert_line '  --rook MIN MAX              Min and Max of Rook (default "0" "1000")'
        assert_line 'Exit status: 0 when the list was written; 1 when the run failed (the reason'  # less the blank
        assert_line 'goes to standard error and the previous list stays as it was); 2 for a usage'  # of CLI11 2.5
    done
}

@test "texts that start with a dash are values" {
    cli --depth-black -abc --time-limit -3.5 --moves -50 -abc --players 40
    assert_success
    run sed -n '2p;10p' "$list"
    assert_output -- $'-abc\r\n-3.5\r'
    check_values 40 0 1000 0 600 0 600 0 1600 -50 0
}

@test "texts and folders beyond ASCII reach the file as UTF-8" {
    mkdir -p "pop ♞é/files"
    cli --depth-black "Zürich ♞" --players 2 --directory "pop ♞é" --verbose
    assert_success
    assert_equal "${output//\\//}" "population-generator-cli: wrote pop ♞é/files/game_list.txt"
    run sed -n 2p "pop ♞é/$list"
    assert_output $'Z\xc3\xbcrich \xe2\x99\x9e\r'
}

# plant MODE UID: MODE/files, of that mode, whose list is a link made by UID to MODE/home/profile, user 4242's.
plant() {
    mkdir -p "$1/files" "$1/home" && chmod "$1" "$1/files" && chown 4242:4242 "$1/home"
    printf 'mine\n' >"$1/home/profile" && chown 4242 "$1/home/profile"
    ln -s "$PWD/$1/home/profile" "$1/$list" && chown -h "$2" "$1/$list"
}

@test "a link another user made in a folder that others can write to is refused" {
    as_other_user
    for mode in 0777 1777; do
        plant $mode 65534
        cli --directory $mode
        assert_failure 1
        assert_regex "$stderr" "\"$mode/$list\": it is a link that another user made in a folder that others can write"
        assert_equal "$(cat $mode/home/profile)" mine
        assert_equal "$(ls -A $mode/files)" game_list.txt
    done
}

@test "the user's own link, root's and one in a folder no other user can write to are followed" {
    as_other_user
    plant 1777 4242
    plant 0777 0 && chown 65534 0777/files
    plant 0755 65534 && rm 0755/home/profile  # a link to a file yet to be made
    for mode in 1777 0777 0755; do
        cli --directory $mode
        assert_success
        cmp $mode/home/profile "$golden"
    done
}

@test "a folder files that may be written but not read (mode 0333) takes the list, run after run" {
    as_other_user
    chmod 0333 files
    for _ in first second; do
        cli
        assert_success
        cmp "$list" "$golden"
    done
    assert_equal "$(ls -A files)" game_list.txt
}

@test "the DLL search is limited before any call that Wine traces" {
    windows || skip "Windows alone"
    source "$BATS_TEST_DIRNAME/../support/wine_relay.sh"
    # First with the console calls left out: the last check must fail on that trace. The prefix keeps the setting,
    # so the second run traces them only when set anew, whatever an earlier run left.
    trace_dll_search_calls --no-console "${program[@]:0:${#program[@]}-1}" 3>&-
    WINEDEBUG=-all,+relay "${program[@]}" --version >/dev/null 2>trace 3>&-
    run console_call_traced_after_limit trace
    assert_failure
    trace_dll_search_calls "${program[@]:0:${#program[@]}-1}" 3>&-
    WINEDEBUG=-all,+relay "${program[@]}" --version >/dev/null 2>trace 3>&-
    dll_search_limited_first trace || fail "a console call before the DLL search is limited: $first"
    # which it would not see if the console calls were not traced: they come after the limit.
    run console_call_traced_after_limit trace
    assert_success
}
