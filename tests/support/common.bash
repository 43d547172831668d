# What every bats file of the project loads first (load ../support/common):
# bats-support and bats-assert, $project (the source tree) and stub, the
# one mock maker. Each test's temporary folder, $BATS_TEST_TMPDIR, is its
# work folder; its bin/ comes first on the PATH.
# shellcheck shell=bash
bats_load_library bats-support
bats_load_library bats-assert
project=$(cd "$BATS_TEST_DIRNAME/../.." && pwd)

# stub NAME [CODE]: a command NAME, first on the PATH, that appends its
# arguments as a line to $BATS_TEST_TMPDIR/NAME.args, then runs the shell
# CODE (sh; "exit 0" when none is given) with them.
stub() {
    mkdir -p "$BATS_TEST_TMPDIR/bin"
    printf '#!/bin/sh\necho "$*" >>"%s/%s.args"\n%s\n' "$BATS_TEST_TMPDIR" "$1" "${2:-exit 0}" >"$BATS_TEST_TMPDIR/bin/$1"
    chmod +x "$BATS_TEST_TMPDIR/bin/$1"
}
PATH="$BATS_TEST_TMPDIR/bin:$PATH"
