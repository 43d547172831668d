# What every bats file of the project loads first (load ../support/common): bats-support, bats-assert,
# $project (the source tree) and stub, the one mock maker, whose bin/ in the test's own folder is first on the PATH.
# shellcheck shell=bash
bats_require_minimum_version 1.5.0  # run -N and run !
bats_load_library bats-support; bats_load_library bats-assert
# shellcheck disable=SC2034 # read by the bats files
project=$(cd "$BATS_TEST_DIRNAME/../.." && pwd)
PATH="$BATS_TEST_TMPDIR/bin:$PATH"
# stub NAME [CODE]: a command NAME that appends its arguments as a line to $BATS_TEST_TMPDIR/NAME.args,
# then runs the sh CODE ("exit 0" when none is given) with them.
stub() {
    mkdir -p "$BATS_TEST_TMPDIR/bin"
    printf '#!/bin/sh\necho "$*" >>"%s/%s.args"\n%s\n' "$BATS_TEST_TMPDIR" "$1" "${2:-exit 0}" >"$BATS_TEST_TMPDIR/bin/$1"
    chmod +x "$BATS_TEST_TMPDIR/bin/$1"
}
