#!/usr/bin/env bash
# Runs population-generator-cli as a script would, in a fresh folder with an
# empty "files", and checks its exit status, its messages and the file.
# Usage: cli_test.sh CASE GOLDEN_FILE PROGRAM...   (PROGRAM may be an
# emulator followed by the program)
set -uo pipefail
case_name=$1 golden=$2
shift 2
program=("$@")
source "$(dirname "${BASH_SOURCE[0]}")/../support/list_layout.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir files || exit 1
list=files/game_list.txt

fail() { echo "FAIL ($case_name): $*" >&2; exit 1; }
# Runs the program; its output on Windows has CR LF line ends in a file,
# on Linux LF. The checks below read it with LF.
run() {
    "${program[@]}" "$@" >out 2>err </dev/null
    status=$?
    if [[ ${program[-1]} == *.exe ]]; then ! grep -qv $'\r$' out err || fail "a bare LF in the output of: $*"
    else ! grep -q $'\r' out err || fail "a CR in the output of: $*"; fi
    sed -i 's/\r$//' out err
}
# From here on the program, copied where user 4242 can reach it, runs as
# that user (under the emulator, if any).
as_other_user() {
    cp "${program[-1]}" "$work/cli" &&
        program=(setpriv --reuid=4242 --regid=4242 --clear-groups "${program[@]:0:${#program[@]}-1}" "$work/cli")
}
expect_status() { [ "$status" -eq "$1" ] || fail "status $status, not $1, for: ${*:2}"$'\n'"$(cat out err)"; }

# Checks that player N's values (N = 2..) lie in the ranges given as two
# numbers a column, and that the list holds exactly `players` players.
check_values() {
    local players=$1
    shift
    tr -d '\r' <"$list" | awk -v players="$players" -v bounds="$*" -v before="$list_before" -v block="$list_block" '
        BEGIN { split(bounds, b, " ") }
        NR > before { i = (NR - before - 1) % block; p = int((NR - before - 1) / block) + 1
                  if (i == 0 && $0 + 0 != p) { print "line " NR ": player " $0 ", not " p; bad = 1 }
                  if (i >= 1 && i < block - 1 && p > 1 && ($0 < b[2 * i - 1] || $0 > b[2 * i])) {
                      print "player " p ", column " i ": " $0 " outside " b[2 * i - 1] ".." b[2 * i]; bad = 1 } }
        END { if (NR != before + block * players) { print NR " lines for " players " players"; bad = 1 }
              exit bad }' || fail "values of: $*"
}

case "$case_name" in
default)  # what the window's first press writes, and nothing said
    run
    expect_status 0
    cmp "$list" "$golden" || fail "the list differs from $golden"
    [ ! -s out ] && [ ! -s err ] || fail "not quiet: $(cat out err)"
    ;;
seeds)
    ranges=(--rook 100 200 --knight 250 350 --bishop 300 300 --queen -900 -800 --moves -5 5)
    run --seed 7 --players 200 --depth-black 7 --depth-white 3 --generations 12 --time-limit 60 "${ranges[@]}"
    expect_status 0 seed 7
    # Each general text after its key, as the golden file has them.
    paste -d '\n' <(sed -n '1~2p' "$golden" | head -n 5) <(printf '%s\r\n' 7 3 200 12 60) | cmp -s - <(head -n 10 "$list") ||
        fail "header: $(head -n 10 "$list")"
    check_values 200 100 200 250 350 300 300 -900 -800 -5 5
    mkdir -p other/files
    run --seed 8 --players 200 "${ranges[@]}" --directory other
    expect_status 0 seed 8
    list=other/files/game_list.txt check_values 200 100 200 250 350 300 300 -900 -800 -5 5
    ! cmp -s <(tail -n +11 "$list") <(tail -n +11 other/"$list") || fail "seeds 7 and 8 drew the same players"
    # The largest seed draws its own players (seed 0 draws 2 300 309 300 -815 1 ...);
    # an option given twice, a range too, counts with its last value.
    run --seed 4294967295 --players 3 "${ranges[@]}" --players 4 --rook 300 300
    expect_status 0 largest seed
    check_values 4 300 300 250 350 300 300 -900 -800 -5 5
    drawn=$(tail -n +"$(list_line 2)" "$list" | tr -d '\r' | xargs)
    [ "$drawn" = "2 300 261 300 -844 3 3 300 328 300 -899 -2 4 300 300 300 -830 -4" ] || fail "seed 4294967295 drew $drawn"
    ;;
failure)  # a run's failure: status 1, the field and its text named, the list kept
    run --players 12
    cp "$list" before
    run --players 40000
    expect_status 1 --players 40000
    grep -q '^population-generator-cli: .*"Number of player in population:".*"40000"' err || fail "message: $(cat err)"
    grep -q '^population-generator-cli: the population list was not changed' err || fail "message: $(cat err)"
    cmp "$list" before || fail "the list was changed"
    # A line break in a text would move every later line of the list.
    for text in $'5\r\nX' $'30\r'; do
        run --depth-black "$text"
        expect_status 1 --depth-black "$(printf %q "$text")"
        grep -q '"Max depth of black player:" holds a line break' err || fail "message: $(cat err)"
        cmp "$list" before || fail "the list was changed"
    done
    ;;
usage)  # status 2, a hint to --help, nothing written
    for arguments in "--bogus" "stray" "/players 5" "--moves -50" "--seed -1" "--seed 4294967296" "--seed 12x" "--seed" \
                     "--players --verbose" "--rook 1 --seed=3" "--directory --help"; do
        read -ra words <<<"$arguments"
        run "${words[@]}"
        expect_status 2 "$arguments"
        grep -q -- "--help" err || fail "no hint for $arguments: $(cat err)"
        [ -z "$(ls -A files)" ] || fail "$arguments wrote $(ls -A files)"
    done
    run --players --verbose  # the hint to join a value with "=", which a range cannot take
    grep -q -- '(to pass that text, write --players=--verbose)' err || fail "no hint: $(cat err)"
    run --rook 1 --seed=3
    ! grep -q -- 'write --rook=' err || fail "a hint for a range: $(cat err)"
    run --version
    expect_status 0 --version
    grep -Eq '^population-generator-cli .*[0-9]+\.[0-9]+\.[0-9]+$' out || fail "version: $(cat out)"
    run --help  # every option listed, in lines that fit a console of 80 columns
    expect_status 0 --help
    for option in depth-black depth-white players generations time-limit rook knight bishop queen moves \
                  seed directory verbose help version; do
        grep -Eq -- "^ +(-h, *)?--$option( |$)" out || fail "--$option is not listed:"$'\n'"$(cat out)"
    done
    awk 'length > 79 { print NR ": " $0; failed = 1 } END { exit failed }' out >bad || fail "too long:"$'\n'"$(cat bad)"
    run --players 40 --foo bar baz
    expect_status 2 --players 40 --foo bar baz
    grep -q 'arguments were not expected: --foo bar baz$' err || fail "not as typed: $(cat err)"
    run stray
    grep -q 'argument was not expected: stray$' err || fail "one: $(cat err)"
    run two words
    grep -q 'arguments were not expected: two words$' err || fail "two: $(cat err)"
    if [[ ${program[-1]} == *.exe ]]; then  # the help as Windows programs give it
        run "/?"
        expect_status 0 "/?"
        grep -q -- "--players TEXT" out || fail "/? printed: $(cat out err)"
    fi
    run --players=--verbose  # the text itself, when it is meant
    expect_status 0 --players=--verbose
    [ "$(sed -n 6p "$list")" = $'--verbose\r' ] || fail "line 6: $(sed -n 6p "$list")"
    ;;
negative-texts)  # texts that start with '-' are values
    run --depth-black -abc --time-limit -3.5 --moves -50 -abc --players 40
    expect_status 0
    [ "$(sed -n '2p;10p' "$list" | tr -d '\r' | paste -sd ' ')" = "-abc -3.5" ] || fail "texts: $(head -n 10 "$list")"
    check_values 40 0 1000 0 600 0 600 0 1600 -50 0
    ;;
non-ascii)  # texts and folders beyond ASCII reach the file as UTF-8, on Windows too
    mkdir -p "pop ♞é/files"
    run --depth-black "Zürich ♞" --players 2 --directory "pop ♞é" --verbose
    expect_status 0
    [ "$(tr -d '\r' <out | tr '\\' /)" = "population-generator-cli: wrote pop ♞é/files/game_list.txt" ] || fail "said: $(cat out)"
    [ "$(sed -n 2p "pop ♞é/$list")" = $'Z\xc3\xbcrich \xe2\x99\x9e\r' ] || fail "line 2: $(sed -n 2p "pop ♞é/$list" | od -c)"
    ;;
planted-link)  # a link another user made in a folder others can write to is refused
    # The program runs as user 4242 and the links are planted by 65534: only root can.
    [ "$(id -u)" -eq 0 ] || { echo "SKIP ($case_name): only root can run the program as another user"; exit 77; }
    chmod 755 "$work"
    as_other_user
    for mode in 0777 1777; do
        mkdir -p "$mode/files" "$mode/home" && chmod "$mode" "$mode/files" && chown 4242:4242 "$mode/home"
        printf 'mine\n' >"$mode/home/profile" && chown 4242 "$mode/home/profile"
        ln -s "$work/$mode/home/profile" "$mode/$list" && chown -h 65534:65534 "$mode/$list"
        run --directory "$mode"
        expect_status 1 "$mode"
        grep -qF "\"$mode/$list\": it is a link that another user made in a folder that others can write to" err ||
            fail "$mode: $(cat err)"
        [ "$(cat "$mode/home/profile")" = mine ] || fail "$mode: the linked file was changed"
        [ "$(ls -A "$mode/files")" = game_list.txt ] || fail "$mode: left $(ls -A "$mode/files")"
    done
    # The user's own link there is followed, and so is root's in a folder of 65534.
    rm "1777/$list" && setpriv --reuid=4242 --regid=4242 --clear-groups ln -s "$work/1777/home/profile" "1777/$list"
    ln -sf "$work/0777/home/profile" "0777/$list" && chown 65534 0777/files
    for mode in 1777 0777; do
        run --directory $mode
        expect_status 0 "the link of uid $(stat -c %u "$mode/$list") in $mode"
        cmp $mode/home/profile "$golden" || fail "$mode: the link was not followed"
    done
    # So is one of 65534 in root's folder of mode 0755, where no other user can plant one.
    mkdir -p root/files && chmod 755 root/files && ln -s "$work/0777/home/made" "root/$list" && chown -h 65534 "root/$list"
    run --directory root
    expect_status 0 "the link of 65534 in root's 0755 folder"
    cmp 0777/home/made "$golden" || fail "root's 0755 folder: the link was not followed"
    ;;
start-up)  # Windows: in Wine's trace of the calls that matter, the first once the program runs limits its DLL search
    source "$(dirname "${BASH_SOURCE[0]}")/../support/wine_relay.sh"
    # First with the console calls left out: the last check must fail on that trace. The prefix keeps
    # the setting, so the second run traces them only when set anew, whatever an earlier run left.
    trace_dll_search_calls --no-console "${program[@]:0:${#program[@]}-1}"
    WINEDEBUG=-all,+relay "${program[@]}" --version >/dev/null 2>trace
    ! console_call_traced_after_limit trace || fail "a trace without console calls passed as holding one"
    trace_dll_search_calls "${program[@]:0:${#program[@]}-1}"
    WINEDEBUG=-all,+relay "${program[@]}" --version >/dev/null 2>trace
    dll_search_limited_first trace || fail "a console call before the DLL search is limited: $first"
    # which it would not see if the console calls were not traced: they come after the limit.
    console_call_traced_after_limit trace || fail "no console call traced after the DLL search is limited"
    ;;
write-only-folder)  # a "files" that may be written but not read (mode 0333)
    [ "$(id -u)" -eq 0 ] || { echo "SKIP ($case_name): only root can run the program as another user"; exit 77; }
    chmod 755 "$work" && chmod 0333 files
    as_other_user
    for press in first second; do
        run
        expect_status 0 "the $press run"
        cmp "$list" "$golden" || fail "the $press run's list differs from $golden"
    done
    [ "$(ls -A files)" = game_list.txt ] || fail "left $(ls -A files)"
    ;;
*) fail "no such case" ;;
esac
