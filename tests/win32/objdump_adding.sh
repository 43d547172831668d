#!/bin/sh
# objdump as windows7_imports_test.sh runs it, with one import more: after
# the real one's output (POPGEN_OBJDUMP), the line POPGEN_ADDED_IMPORT (a
# printf format) in a USER32.dll import table. With POPGEN_DROPPED_IMPORT
# instead, one import less: the lines that end in that name left out.
[ -z "${POPGEN_DROPPED_IMPORT:-}" ] || { "$POPGEN_OBJDUMP" "$@" | grep -v " $POPGEN_DROPPED_IMPORT\$"; exit; }
"$POPGEN_OBJDUMP" "$@" || exit
printf '\tDLL Name: USER32.dll\n'"$POPGEN_ADDED_IMPORT"'\n'
