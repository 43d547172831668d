#!/usr/bin/env bash
# Runs a window test at another DPI under Wine: in a Wine prefix of its own
# (beside $WINEPREFIX, named for the DPI), whose LogPixels setting is DPI
# before its Wine server starts.
#
# Wine 8 reads LogPixels in each process as it starts; Wine 10 gives each
# monitor the DPI that LogPixels had when the Wine server (its desktop
# process) started, so a value set later changes the system DPI of new
# processes but not GetDpiForWindow. The prefix the other tests share keeps
# its server all along (the fixture "wine"), hence this one.
#
# The window is shown on a private display of its own, not the shared one:
# the keyboard focus that the window tests ask about is then theirs, while
# the tests in the shared prefix show theirs beside them. The runs at one
# DPI share a prefix, and one run ends its server: they hold a lock each
# (tests/win32/CMakeLists.txt).
#
# Usage: at_dpi.sh DPI EMULATOR PROGRAM [ARGUMENTS...]
set -euo pipefail
dpi=$1 emulator=$2
shift 2
shared="${WINEPREFIX:-${TMPDIR:-/tmp}/popgen-wine-$(id -u)}"
export WINEPREFIX="$shared-${dpi}dpi"
# 1600 x 1200, as the shared display: the window grown for 144 DPI or a
# larger text size fits its work area. The launcher finds it by POPGEN_DISPLAY_DIR.
private_display="$(dirname "${BASH_SOURCE[0]}")/../support/private_display.sh"
export POPGEN_DISPLAY_DIR="$WINEPREFIX-display"
trap 'bash "$private_display" stop "$POPGEN_DISPLAY_DIR"' EXIT
bash "$private_display" start "$POPGEN_DISPLAY_DIR" 1600x1200 >/dev/null
# The first run at a DPI copies the shared prefix, which the fixture has
# made: Wine takes ten seconds and more of both cores to make one (and does,
# on its first use, where there is none to copy). The copy is another
# folder, so it gets a Wine server of its own. Its registry is copied, and
# drive_c, which holds over a gigabyte of Wine's DLLs, hard-linked: Wine
# writes the registry files anew, and only adds files of its own to drive_c.
# A prefix is made only once its DPI is set (popgen-made): one left half
# made, by an interrupt or a failure, is made again.
if [ ! -f "$WINEPREFIX/popgen-made" ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
fi
if [ ! -d "$WINEPREFIX/drive_c" ] && [ -f "$shared/system.reg" ]; then
    copy="$WINEPREFIX.copy"
    rm -rf "$copy"
    mkdir "$copy"
    find "$shared" -mindepth 1 -maxdepth 1 ! -name drive_c -exec cp -a {} "$copy/" \;
    cp -al "$shared/drive_c" "$copy/"
    rm -f "$copy/dosdevices/s:" "$copy/popgen-no-small-drive"
    mv "$copy" "$WINEPREFIX"
fi
"$emulator" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
wineserver -k 2>/dev/null || true
wineserver -w
touch "$WINEPREFIX/popgen-made"
status=0
"$emulator" "$@" || status=$?
wineserver -k 2>/dev/null || true
exit "$status"
