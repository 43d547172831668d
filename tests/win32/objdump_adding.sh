#!/bin/sh
# objdump as windows7_imports_test.sh runs it, with one import more: after
# the real one's output (POPGEN_OBJDUMP), the line POPGEN_ADDED_IMPORT (a
# printf format) in a USER32.dll import table.
"$POPGEN_OBJDUMP" "$@" || exit
printf '\tDLL Name: USER32.dll\n'"$POPGEN_ADDED_IMPORT"'\n'
