#!/bin/sh
# objdump as windows7_imports_test.sh runs it, with one import more: after
# the real one's output (POPGEN_OBJDUMP), POPGEN_ADDED_IMPORT, "DLL LINE":
# the line LINE (a printf format) in an import table of DLL. With
# POPGEN_DROPPED_IMPORT instead, one import less: the lines that end in that
# name left out.
[ -z "${POPGEN_DROPPED_IMPORT:-}" ] || { "$POPGEN_OBJDUMP" "$@" | grep -v " $POPGEN_DROPPED_IMPORT\$"; exit; }
"$POPGEN_OBJDUMP" "$@" || exit
printf '\tDLL Name: %s\n' "${POPGEN_ADDED_IMPORT%% *}"
printf "${POPGEN_ADDED_IMPORT#* }"'\n'
