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
# Usage: at_dpi.sh DPI EMULATOR PROGRAM [ARGUMENTS...]
set -euo pipefail
dpi=$1 emulator=$2
shift 2
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/popgen-wine-$(id -u)}-${dpi}dpi"
# (Wine makes the prefix on its first use.)
"$emulator" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
wineserver -k 2>/dev/null || true
wineserver -w
status=0
"$emulator" "$@" || status=$?
wineserver -k 2>/dev/null || true
exit "$status"
