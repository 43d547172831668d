#!/usr/bin/env bash
# The Wine prefix that a Windows build's tests share, set up once for a
# CTest run (the fixture "wine", tests/CMakeLists.txt) and ended after it.
#
#   wine_prefix.sh start BUILD   the prefix $WINEPREFIX ready, one Wine server
#                                for all the tests, and a small drive S:
#   wine_prefix.sh stop BUILD    the server ended, the small drive unmounted
#
# WINEPREFIX is the test preset's (BUILD/wine-prefix); the programs start on
# the private display named in $POPGEN_DISPLAY_DIR/display (the fixture
# "wine_display"), through the launcher cmake/wine-run.
set -euo pipefail

[ $# -eq 2 ] || { echo "usage: wine_prefix.sh start|stop BUILD" >&2; exit 2; }
action=$1 build=$2
here=$(dirname "${BASH_SOURCE[0]}")
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/popgen-wine-$(id -u)}" WINEDEBUG="${WINEDEBUG:--all}"
# A 4 MiB file system, as drive S:, for the test that fills a drive; when it
# is mounted, cmake/wine-run names it to the tests.
small_drive="$build/small-drive"

# Where none can be mounted, the reason is written here, and the full-drive
# test is skipped with it; with neither the drive nor a reason, it fails.
no_small_drive="$WINEPREFIX/popgen-no-small-drive"

unmount_small_drive() {
    rm -f "$WINEPREFIX/dosdevices/s:" "$no_small_drive"
    if mountpoint -q "$small_drive" 2>/dev/null; then umount "$small_drive" || true; fi
}

case "$action" in
    start)
        # Wine sets up a fresh prefix on its first start, which takes a while:
        # it is done here once rather than inside the first test. One that
        # fails to start is made anew (the launcher already replaced one made
        # before 32-bit Wine was installed).
        if ! "$here/../../cmake/wine-run" wineboot --init; then
            echo "Wine did not start in $WINEPREFIX: making it anew"
            wineserver -k 2>/dev/null || true
            rm -rf "$WINEPREFIX"
            "$here/../../cmake/wine-run" wineboot --init
        fi
        # One Wine server and one set of its services for all the tests,
        # rather than a new one for each test. Its desktop process starts with
        # the first program after this, on the private display. The server
        # outlives this script: CTest would wait for it to let go of the
        # output it inherited.
        wineserver -k 2>/dev/null || true
        wineserver -p </dev/null >/dev/null 2>&1

        unmount_small_drive
        mkdir -p "$small_drive"
        if mount -t tmpfs -o size=4m,mode=0755 popgen-small-drive "$small_drive" 2>/dev/null; then
            ln -sfn "$small_drive" "$WINEPREFIX/dosdevices/s:"
        else
            echo "cannot mount a small file system here (needs root and mount rights)" | tee "$no_small_drive"
        fi
        echo "Wine prefix ready: $WINEPREFIX"
        ;;
    stop)
        wineserver -k 2>/dev/null || true
        unmount_small_drive
        ;;
    *) echo "usage: wine_prefix.sh start|stop BUILD" >&2; exit 2 ;;
esac
