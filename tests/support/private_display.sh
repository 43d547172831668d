#!/usr/bin/env bash
# A private X display: an Xvfb of our own, so that no test or script draws
# on the user's screen or depends on one. Every test and script that needs a
# display starts it here.
#
#   private_display.sh start FOLDER [WIDTHxHEIGHT]   prints the display (":N")
#   private_display.sh stop FOLDER
#   private_display.sh running FOLDER                 prints the display while its server runs
#
# FOLDER holds what a later stop, or another process, needs: "display" (the
# display's name, written once it accepts clients), "pid" and the server's
# log. The server outlives the caller (a CTest fixture's setup test starts
# it and its cleanup test stops it), so its output goes to the log and none
# of the caller's pipes is held open. A start in a FOLDER whose server still
# runs stops that one first.
set -euo pipefail

usage() { echo "usage: private_display.sh start FOLDER [WIDTHxHEIGHT] | stop FOLDER | running FOLDER" >&2; exit 2; }
[ $# -ge 2 ] || usage
action=$1 folder=$2 size=${3:-1280x1024}

# ended PID: the process is gone, or ended and not reaped: a zombie, which
# kill -0 still finds, stays where nothing reaps orphans (a container whose
# first process is no init).
ended() { ! kill -0 "$1" 2>/dev/null || grep -qs '^State:.*zombie' "/proc/$1/status"; }
# server_runs: FOLDER's server still runs. The pid file is ours, but the pid
# counts only while it is an Xvfb.
server_runs() {
    local pid
    pid=$(cat "$folder/pid" 2>/dev/null) && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ] && ! ended "$pid"
}

stop() {
    if server_runs; then
        kill "$(cat "$folder/pid")" 2>/dev/null || true
        for _ in $(seq 50); do server_runs || break; sleep 0.1; done
        if server_runs; then echo "Xvfb did not end: pid $(cat "$folder/pid")" >&2; return 1; fi
    fi
    rm -f "$folder/pid" "$folder/display"
}

case "$action" in
    start)
        command -v Xvfb >/dev/null || { echo "Xvfb is missing (Debian package xvfb)" >&2; exit 1; }
        mkdir -p "$folder"
        stop
        # Xvfb picks a free display and writes its number once it accepts
        # clients. It must not reset when its last client leaves (a check
        # that the display answers is one), or the next client may connect in
        # the middle of the reset.
        Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset \
            3>"$folder/display.number" </dev/null >"$folder/xvfb.log" 2>&1 &
        server=$!
        echo "$server" >"$folder/pid"
        for _ in $(seq 100); do [ -s "$folder/display.number" ] || ended "$server" && break; sleep 0.1; done
        if [ ! -s "$folder/display.number" ]; then
            echo "Xvfb did not start:" >&2
            cat "$folder/xvfb.log" >&2
            stop
            exit 1
        fi
        echo ":$(head -n 1 "$folder/display.number")" >"$folder/display"
        rm -f "$folder/display.number"
        cat "$folder/display"
        ;;
    stop) stop ;;
    # (A display file left by a run that was killed names no server.)
    running) [ -s "$folder/display" ] && server_runs && cat "$folder/display" ;;
    *) usage ;;
esac
