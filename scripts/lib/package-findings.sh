# The package check's verdicts on what the metainfo validator and lintian
# find (scripts/test-package); apart from it so that a test can give them
# stand-ins for both tools.
# shellcheck shell=bash

# The project has no home page yet (see the metainfo's comment), and no web
# address is made up for one. appstream 1.0 warns of that (0.16 did not):
# that one finding is accepted, by its tag; any other fails.
ACCEPTED_APPSTREAM=url-homepage-missing
homepage_missing_only=0
appstream_clean() {
    local out status=0 tags
    out=$(appstreamcli validate --no-net "$@" 2>&1) || status=$?
    echo "$out"
    [ "$status" -eq 0 ] && return 0
    tags=$(awk '/^[EW]: / { print $3 }' <<<"$out" | sort -u)
    if [ "$tags" != "$ACCEPTED_APPSTREAM" ]; then
        echo "appstreamcli: findings besides $ACCEPTED_APPSTREAM (exit status $status)" >&2
        return 1
    fi
    homepage_missing_only=1
}

# Any lintian error or warning fails, but for those accepted here.
ACCEPTED_LINTIAN=()
# lintian_clean DEB FOLDER: lintian's output is kept in FOLDER.
lintian_clean() {
    local deb=$1 work=$2 tags status=0
    # The findings are judged below; lintian itself fails only when it could
    # not check the package.
    lintian --fail-on none --display-info --pedantic "$deb" >"$work/lintian.log" 2>"$work/lintian.err" ||
        status=$?
    cat "$work/lintian.log"
    if [ "$status" -ne 0 ] || grep -q '^Skipping' "$work/lintian.err"; then
        cat "$work/lintian.err" >&2
        echo "lintian failed to check the package (exit status $status)" >&2
        return 1
    fi
    tags=$(sed -n 's/^[EW]: [^ ]*: \([^ ]*\).*/\1/p' "$work/lintian.log" | sort -u)
    # lintian runs the same metainfo validator; when that found only the
    # missing home page accepted above, lintian's verdict repeats it.
    local accepted=("${ACCEPTED_LINTIAN[@]}")
    [ "$homepage_missing_only" -eq 0 ] || accepted+=(appstream-metadata-validation-failed)
    local tag unexpected=0
    for tag in $tags; do
        if [[ " ${accepted[*]} " != *" $tag "* ]]; then
            echo "lintian: $tag is neither fixed nor accepted" >&2
            unexpected=1
        fi
    done
    return "$unexpected"
}

# page_notices PAGE: the page, a copy of the program, carries the licence and
# the notices of what its build compiles into it (emscripten's runtime,
# musl), each found by a name that only its own text holds (scripts/package web).
page_notices() {
    local notice
    for notice in "The Population generator authors" "The Emscripten Authors" "Rich Felker"; do
        grep -qF "$notice" "$1" || { echo "package-web: the page lacks the licence or a notice ($notice)" >&2; return 1; }
    done
}
