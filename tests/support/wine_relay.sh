# Whether a Windows program limits its DLL search before anything else,
# read from Wine's relay trace; sourced by cli_test.sh and
# real_window_test.sh.
# shellcheck shell=bash

# trace_dll_search_calls WINE...: has Wine trace only the calls that matter
# (the prefix's HKCU\Software\Wine\Debug keeps the setting): the limit of the
# DLL search, and any window, console or COM call. WINE is how the prefix's
# programs are started: wine, or cmake/wine-run. With --no-console first,
# the console calls are left out.
trace_dll_search_calls() {
    local relayed='SetDefaultDllDirectories;SetDllDirectoryW;user32.*;gdi32.*;comctl32.*;CoInitializeEx;CoCreateInstance'
    local console=';GetStdHandle;GetConsoleMode;GetConsoleProcessList;WriteConsoleW;ReadConsoleW;FlushConsoleInputBuffer'
    [ "${1:-}" != --no-console ] || { console=''; shift; }
    # reg prints its errors on standard output too: they are shown on a
    # failure. They go to a file, never through a pipe: when reg is the Wine
    # server's first program, Wine's services start here, inherit its output
    # and outlive it, and a command substitution would wait for them.
    local said status=0
    said=$(mktemp)
    "$@" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d "$relayed$console" /f >"$said" 2>&1 || status=$?
    [ "$status" -eq 0 ] || cat "$said" >&2
    rm -f "$said"
    return "$status"
}

# dll_search_limited_first TRACE: succeeds when the first call traced in
# TRACE (WINEDEBUG=+relay) on the thread that limits the DLL search, from
# Wine's "Starting thread proc" line on (the DLLs' own start-up, before it,
# calls some of these too), is that limit. Sets `first` to that call.
dll_search_limited_first() {
    local thread
    thread=$(grep -m1 -oE '^[0-9a-f]+:Call \w+\.(SetDefaultDllDirectories|SetDllDirectoryW)\(' "$1" | cut -d: -f1)
    first=$(awk -v t="^$thread:" '$0 ~ t "Starting thread proc" { on = 1 }
        on && match($0, t "Call [[:alnum:]_]+[.][[:alnum:]_]+[(]") { print substr($0, RSTART, RLENGTH); exit }' "$1")
    [[ $first =~ \.SetD(efaultDllDirectories|llDirectoryW)\($ ]]
}

# console_call_traced_after_limit TRACE: succeeds when TRACE holds a console
# call after the DLL search's limit, which shows that the console calls were
# traced. (One awk, not sed into grep -q: grep's early exit would end sed
# with SIGPIPE, which pipefail counts as failure.)
console_call_traced_after_limit() {
    awk '/:Call [[:alnum:]_]+\.SetD(efaultDllDirectories|llDirectoryW)\(/ { limited = 1 }
        limited && /:Call [[:alnum:]_]+\.[[:alpha:]]*Console/ { found = 1 } END { exit !found }' "$1"
}
