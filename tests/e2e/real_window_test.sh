#!/usr/bin/env bash
# The built program in a real X window, driven through the keyboard: every
# field is typed in the window's keyboard order and the button pressed, which
# must give the golden default file byte for byte. Enter and Escape in a field
# write nothing. A press then fails, the report is dismissed with the
# keyboard, the program is still running with the file untouched, and a press
# after the cause is mended succeeds.
#
# Usage: real_window_test.sh PROGRAM
# PROGRAM is the Qt program, or the Windows program (.exe), which runs under
# Wine in $WINEPREFIX. It runs on a private display of its own, or for Wine
# on the one in $POPGEN_DISPLAY_DIR when set (the Windows tests' fixture
# starts one for all of Wine, since Wine's desktop process stays on the
# display it was started on).
# With POPGEN_LC_ALL=LOCALE (a locale whose decimal point is a comma, from
# LOCPATH if that is set), the program runs in that locale instead and one
# press with a player count of "2.6" must write 3 players.
# With POPGEN_SCREENSHOT=FILE.png (and ImageMagick's import installed), the
# window as it first appears is also saved there.
# The Windows screenshot is taken at 144 DPI: at 96 Wine draws a group box's
# title with the frame's line through its last letter, which Windows does
# not; and Wine draws no title bar on an X server without a window manager.
set -euo pipefail

program=$(realpath "$1")
golden=$(realpath "$(dirname "$0")/../data/default_game_list.txt")
source "$(dirname "${BASH_SOURCE[0]}")/../support/list_layout.sh"
case "$program" in
    *.exe) windows=1 ;;
    *) windows=0 ;;
esac
screenshot=${POPGEN_SCREENSHOT:+$(realpath -m "$POPGEN_SCREENSHOT")}
tools=(Xvfb xdotool xmodmap)
[ "$windows" -eq 0 ] || tools+=(wine)
for tool in "${tools[@]}"; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: $tool is missing (scripts/test installs the packages xvfb, xdotool, x11-xserver-utils and wine)" >&2
        exit 1
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/popgen-e2e.XXXXXX")
list=files/game_list.txt  # under $work/run, where the program runs
private_display="$(dirname "${BASH_SOURCE[0]}")/../support/private_display.sh"
app_pid=""
cleanup() {
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    bash "$private_display" stop "$work/x-display"
    rm -rf "$work"
}
trap cleanup EXIT

visible_windows() { xdotool search --onlyvisible --name '^Population generator$' 2>/dev/null || true; }

fail() {
    echo "FAIL: $*" >&2
    [ -z "${DISPLAY:-}" ] || echo "visible windows: $(visible_windows | wc -l)" >&2
    if [ -f "$work/run/$list" ]; then
        echo "--- $list, first lines:" >&2
        head -n 8 "$work/run/$list" >&2
    fi
    if [ -f "$work/program.log" ]; then
        echo "--- program output:" >&2
        grep -v '^[0-9a-f]*:\(Call\|Ret\) ' "$work/program.log" >&2  # without Wine's trace
    fi
    if [ -s "$work/x-display/xvfb.log" ]; then
        echo "--- Xvfb output:" >&2
        cat "$work/x-display/xvfb.log" >&2
    fi
    exit 1
}

# Waits up to 30 s for a condition (a command); the message says what it was.
wait_for() {
    local what=$1
    shift
    local tries=0
    until "$@"; do
        tries=$((tries + 1))
        [ "$tries" -le 300 ] || fail "gave up waiting for $what"
        sleep 0.1
    done
}

# Wine's programs share the display that its fixture started, while it runs.
if [ "$windows" -eq 0 ] || [ -z "${POPGEN_DISPLAY_DIR:-}" ] ||
    ! DISPLAY=$(bash "$private_display" running "$POPGEN_DISPLAY_DIR"); then
    DISPLAY=$(bash "$private_display" start "$work/x-display" 800x600) || fail "no private display"
fi
export DISPLAY
display_answers() { xdotool getdisplaygeometry >/dev/null 2>&1; }
wait_for "a connection to Xvfb on $DISPLAY" display_answers
# Every character typed below has a key of its own before the program
# starts: ½, the one that Xvfb's keymap lacks, is given one. Otherwise
# xdotool lends one a spare key for each keystroke and takes it back at
# once, and a program that is slow to follow the change (Wine under load)
# reads another character or none.
xmodmap -pke | grep -qw onehalf || xmodmap -e "keycode any = onehalf" ||
    fail "cannot give the key onehalf a key code"

# Everything the program or its toolkit might write stays in the work folder.
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config"
mkdir -p "$work/run/files"
cd "$work/run"

if [ "$windows" -eq 1 ]; then
    # As cmake/wine-run does; wine execs the program in this process.
    export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/popgen-wine-$(id -u)}"
    export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
    # Wine traces the calls that show whether the DLL search is limited first (checked below).
    # Its output goes to a file: when this is the Wine server's first program,
    # Wine's services start here and outlive the test, and would hold CTest's
    # pipe open (the test, run alone, would pass and then time out).
    source "$(dirname "${BASH_SOURCE[0]}")/../support/wine_relay.sh"
    trace_dll_search_calls wine </dev/null 2>"$work/relay-setting.log" ||
        fail "Wine did not take the relay setting: $(cat "$work/relay-setting.log")"
    WINEDEBUG=$WINEDEBUG,+relay wine "$program" >"$work/program.log" 2>&1 &
else
    ${POPGEN_LC_ALL:+env LC_ALL=$POPGEN_LC_ALL} "$program" >"$work/program.log" 2>&1 &
fi
app_pid=$!

window_count_is() { [ "$(visible_windows | wc -l)" -eq "$1" ]; }
running() { kill -0 "$app_pid" 2>/dev/null || fail "the program ended"; }

window_shown() { running && window_count_is 1; }
wait_for "the window" window_shown
if [ "$windows" -eq 1 ]; then  # the program's first traced call, once it runs, limits its DLL search
    dll_search_limited_first "$work/program.log" || fail "a window call before the DLL search is limited: ${first:-no call was traced at all (was the relay setting taken?)}"
fi
main=$(visible_windows)
xdotool windowfocus --sync "$main"
[ ! -e "$list" ] || fail "starting the program wrote $list"

if [ -n "$screenshot" ]; then
    sleep 0.5  # let the first paint finish
    import -window "$main" "$screenshot"
    echo "screenshot: $screenshot"
fi

tab() { xdotool key --repeat "$1" Tab; }
backtab() { xdotool key --repeat "$1" shift+Tab; }
# Empties the field (End, Shift+Home and BackSpace: a Win32 edit control has
# no Ctrl+A) and types the text, read as UTF-8 whatever the test's locale.
replace() { xdotool key End shift+Home BackSpace && LC_ALL=C.UTF-8 xdotool type -- "$1"; }

# Checks the file: CRLF lines, the count, and "N:text" line checks.
check_list() {
    local count=$1
    shift
    local crlf total
    crlf=$(grep -c $'\r$' "$list" || true)
    total=$(wc -l <"$list")
    [ "$crlf" -eq "$total" ] || fail "$list: $crlf of $total lines end with CRLF"
    [ "$total" -eq "$count" ] || fail "$list has $total lines, expected $count"
    local check number expected actual
    for check in "$@"; do
        number=${check%%:*}
        expected=${check#*:}
        actual=$(sed -n "${number}p" "$list" | tr -d '\r')
        [ "$actual" = "$expected" ] || fail "line $number is '$actual', expected '$expected'"
    done
}

# In a comma locale the period is still the decimal point: "2.6" rounds to 3.
if [ -n "${POPGEN_LC_ALL:-}" ]; then
    [ "$(LC_ALL=$POPGEN_LC_ALL locale decimal_point 2>/dev/null)" = "," ] ||
        fail "the locale $POPGEN_LC_ALL is missing or has no decimal comma (LOCPATH=${LOCPATH:-})"
    tab 12
    replace 2.6     # text3(12): player count
    tab 3
    xdotool key space
    wait_for "the file after the press" test -s "$list"
    check_list "$(list_lines 3)" "6:2.6" "$(list_line 3): 3"
    echo "PASS: in $POPGEN_LC_ALL a player count of 2.6 wrote 3 players"
    exit 0
fi

# The focus starts in the rook's Min: the Min column, the Max column, the
# general column, then the button. Each field typed with its default text,
# the first press writes the golden file.
for text in 0 0 0 0 -50   1000 600 600 1600 150   5 5 30 50 900; do
    replace "$text"
    tab 1
done
xdotool key space  # Command1
wait_for "the file after the first press" test -s "$list"
cmp -s "$list" "$golden" || fail "the first press did not write the golden file $golden"
running

# Enter and Escape in a field press nothing: a press now would rewrite the
# file with the next random values. The failing press below comes after
# them, so once its report shows they have been handled.
backtab 3       # text3(12): player count
xdotool key Return Escape

# A player count beyond the whole-number range fails the run.
replace 40000
tab 3
xdotool key space
wait_for "the failure report" window_count_is 2
report=$(visible_windows | grep -vx "$main")
xdotool windowfocus --sync "$report"
xdotool key Return
wait_for "the report to close" window_count_is 1
running
cmp -s "$list" "$golden" || fail "Enter or Escape in a field, or the failed run, changed $list"
first=$(cksum <"$list")

# Mended, the next press writes again, here with the rook's range 10..10,
# which gives every drawn rook 10, and a time limit that is not ASCII, which
# reaches the file as UTF-8.
xdotool windowfocus --sync "$main"
backtab 1
replace "½ day"  # text3(14)
backtab 2
replace 3       # text3(12)
backtab 12
replace 10      # Text1(5): rook Min
tab 5
replace 10      # Text2(5): rook Max
tab 10
xdotool key Return  # on the button, Enter presses it as Space does
list_changed() { [ "$(cksum <"$list")" != "$first" ]; }
wait_for "the file after the mended press" list_changed
check_list "$(list_lines 3)" "2:5" "6:3" "10:½ day" "$(list_line 2): 2" "$(list_line 2 ROOK): 10" "$(list_line 3): 3" \
    "$(list_line 3 ROOK): 10" "$(list_line 1 ROOK):$(sed -n "$(list_line 1 ROOK)p" "$golden" | tr -d '\r')"  # player 1's fixed
running

echo "PASS: keyboard input reached the file; the failure report left the program running"
