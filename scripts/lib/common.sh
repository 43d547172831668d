# Shared by the scripts: the project's root and installing missing packages.
# shellcheck shell=bash

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# The time the packages' entries are dated by (the files in the zip, the
# .deb's members and files): SOURCE_DATE_EPOCH when it is set, else the time
# of the commit checked out, so that one commit gives the same packages.
# Nothing that is built depends on it: only the packing steps are given it.
source_date_epoch() {
    if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
        echo "$SOURCE_DATE_EPOCH"
    else
        git -C "$ROOT" log -1 --format=%ct 2>/dev/null || echo 0
    fi
}

# shell_scripts: the project's shell scripts, one a line, from the root: the
# *.sh, *.bash and *.bats (tests) files and every other file whose first line is a shell's #!. Of the
# files in the clone, new ones too (but not those .gitignore leaves out);
# outside a clone, of every file but those in the build folders, dist/ and
# node_modules/.
shell_scripts() {
    local file first
    { git -C "$ROOT" ls-files --cached --others --exclude-standard 2>/dev/null ||
        find "$ROOT" \( -path "$ROOT/build*" -o -path "$ROOT/dist" -o -path "$ROOT/.git" -o -name node_modules \) -prune -o -type f -printf '%P\n'; } |
        while IFS= read -r file; do
            [ -f "$ROOT/$file" ] || continue  # deleted, not yet committed
            first=
            IFS= read -r first <"$ROOT/$file" || true
            if [[ $file == *.@(sh|bash|bats) || $first =~ ^#!.*[/\ ](ba|da)?sh(\ |$) ]]; then echo "$file"; fi
        done
}

# project_version BUILD: the project's version, as the build folder BUILD
# was configured with.
project_version() { sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"; }

# How long apt-get waits for another package manager (a desktop's automatic
# updates after boot, say) to let go of the dpkg lock before it gives up.
APT_LOCK_SECONDS=${APT_LOCK_SECONDS:-300}

# apt-get, noninteractive, as root or through sudo, waiting for the dpkg
# lock; when it gave up waiting, says so plainly.
apt_get() {
    local status=0 errors
    errors=$(mktemp)
    # Its errors are shown as they come and kept for a look afterwards; the
    # "if" keeps a failure from ending the caller's "set -e" script here.
    if { "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get -q -y -o DPkg::Lock::Timeout="$APT_LOCK_SECONDS" "$@" 2>&1 1>&3 3>&- | tee "$errors"; } 3>&1 1>&2; then
        status=${PIPESTATUS[0]}
    else
        status=${PIPESTATUS[0]}
    fi
    if [ "$status" -ne 0 ] && grep -q '/var/lib/dpkg/lock' "$errors"; then
        echo "Another package manager (automatic updates?) held the dpkg lock for more than" \
             "$APT_LOCK_SECONDS s, so apt-get $1 gave up. Try again once it is done" \
             "(APT_LOCK_SECONDS sets the wait)." >&2
    fi
    rm -f "$errors"
    return "$status"
}
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

# Installs the Debian packages named that are not installed yet. Where
# there is no apt-get (another distribution), installs nothing: the README
# says what to install there.
ensure_packages() {
    if ! command -v apt-get >/dev/null 2>&1 || ! command -v dpkg-query >/dev/null 2>&1; then
        echo "No apt-get here: not installing anything; the README names what the build needs." >&2
        return 0
    fi
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    if [ ${#as_root[@]} -gt 0 ] && ! command -v sudo >/dev/null 2>&1; then
        echo "Missing packages: ${missing[*]}; run as root or install sudo." >&2
        return 1
    fi
    echo "Installing: ${missing[*]}"
    apt_get update
    apt_get install --no-install-recommends "${missing[@]}"
}

# What building and starting the window needs (scripts/run).
RUN_PACKAGES=(cmake ninja-build g++ qt6-base-dev libgl-dev
              # The font the window is drawn for; it fits itself to any other.
              fonts-liberation)

# The README's list for another Linux distribution, in Debian's names, with
# Make, CMake's default build tool: all that the plain CMake build (cmake -B
# build; cmake --build build; cmake --install build) needs for the window,
# the command line and their desktop files (scripts/test-plain-build).
# shellcheck disable=SC2034 # read by scripts/test-plain-build, which sources this file
PLAIN_BUILD_PACKAGES=(cmake make ninja-build g++ qt6-base-dev libgl-dev libcli11-dev)
# What its tests need besides: GoogleTest, bats (the command line's test
# and the scripts' guards), the tools and fonts of the window tests (the
# real window's private X server, the comma-decimal locale's sources,
# DejaVu), and what the guards run (pgrep, ssh-keygen), which a minimal root may lack.
# The guard of test-reproducible --against skips there: reprotest and
# diffoscope are no tools of the plain build.
# shellcheck disable=SC2034 # read by scripts/test-plain-build, which sources this file
PLAIN_TEST_PACKAGES=(libgtest-dev bats bats-support bats-assert xvfb xauth xdotool x11-xserver-utils locales
                     fonts-dejavu-core fonts-liberation procps openssh-client)

# What building the Debian package needs (scripts/package deb): the window's
# and the command line's build (CLI11 is its header-only parser), the icon's
# renderer, the man pages' tools and dpkg-shlibdeps.
PACKAGE_BUILD_PACKAGES=("${RUN_PACKAGES[@]}" libcli11-dev librsvg2-bin help2man gzip dpkg-dev file)

# What checking the package needs (scripts/test-package) besides building
# it: validators for the desktop entry and the metainfo, lintian, and a
# private X server with keyboard input for the real-window test (xmodmap
# gives the characters it types keys of their own).
PACKAGE_CHECK_PACKAGES=(desktop-file-utils appstream lintian xvfb xauth xdotool x11-xserver-utils)

# What scripts/test-reproducible needs besides what scripts/package
# installs: clones, reprotest and the tools of its variations (faketime, the
# sources of another locale), and diffoscope with the tools it opens our
# packages with (zipinfo; readelf, objdump and strings for the programs).
REPRODUCIBLE_CHECK_PACKAGES=(git reprotest faketime locales diffoscope-minimal unzip binutils)

# What building and testing the project needs: everything, the locale
# sources from which the tests compile a comma-decimal locale, DejaVu, the
# only font of the window tests' second run, shellcheck, which reads the
# scripts (shell_scripts) first, what the scripts' guards run (pgrep, ssh-keygen,
# and reprotest with diffoscope), and bats, which runs them.
BUILD_PACKAGES=("${PACKAGE_BUILD_PACKAGES[@]}" "${PACKAGE_CHECK_PACKAGES[@]}" "${REPRODUCIBLE_CHECK_PACKAGES[@]}"
                pkg-config libgtest-dev libgmock-dev libbenchmark-dev locales fonts-dejavu-core shellcheck procps openssh-client
                bats bats-support bats-assert)

# The page for browsers (scripts/package web): emscripten, with the Node.js
# and acorn it brings; its tests (scripts/test-web, which installs both
# lists), driven from Python: headless Chromium through chromedriver and
# WebKitGTK's MiniBrowser (on Xvfb) through WebKitWebDriver, both with
# Selenium, and headless Firefox ESR over WebDriver BiDi, with
# websocket-client.
# shellcheck disable=SC2034 # read by scripts/test-web, which sources this file
WEB_BUILD_PACKAGES=(cmake ninja-build emscripten)
# shellcheck disable=SC2034 # read by scripts/test-web, which sources this file
WEB_TEST_PACKAGES=(chromium chromium-driver firefox-esr webkit2gtk-driver xvfb python3-selenium python3-websocket
                   # the font the page is drawn for, at 10 px as the fitting test expects
                   fonts-liberation)

# wine32 comes from the i386 architecture, which Debian must be told of
# before the apt-get update that comes with installing it.
add_i386_architecture() {
    if command -v dpkg >/dev/null && ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "Adding the i386 architecture for wine32 (installed next, after apt-get update)"
        "${as_root[@]}" dpkg --add-architecture i386
    fi
}

# The compiler of each architecture that the project is cross-built for.
# shellcheck disable=SC2034 # read by scripts/test-windows, scripts/test-arm and package-windows.sh
declare -A CROSS_COMPILER=([x64]=g++-mingw-w64-x86-64 [x86]=g++-mingw-w64-i686
                           [arm64]=g++-aarch64-linux-gnu [armhf]=g++-arm-linux-gnueabihf)
# The Windows builds' tests under Wine (scripts/test-windows, which adds
# each architecture's compiler, and for x86 32-bit Wine, WINE32_PACKAGES,
# from Debian's i386 architecture): a private X server with keyboard input
# for the window tests, and bats for the command line's.
# shellcheck disable=SC2034 # read by scripts/test-windows, which sources this file
WINDOWS_TEST_PACKAGES=(cmake ninja-build googletest libcli11-dev wine wine64 xvfb xauth xdotool x11-xserver-utils
                       bats bats-support bats-assert)
# shellcheck disable=SC2034 # read by scripts/test-windows, which sources this file
WINE32_PACKAGES=(wine32:i386)
# The Windows zips (scripts/package windows), besides each compiler.
# shellcheck disable=SC2034 # read by scripts/lib/package-windows.sh, which sources this file
WINDOWS_PACKAGE_PACKAGES=(cmake ninja-build libcli11-dev zip unzip)
# The ARM builds' tests under qemu-user (scripts/test-arm), besides each
# compiler; the locale sources for the comma-decimal locale of the tests,
# bats for the command line's.
# shellcheck disable=SC2034 # read by scripts/test-arm, which sources this file
ARM_TEST_PACKAGES=(cmake ninja-build googletest libcli11-dev locales qemu-user bats bats-support bats-assert)
# The Windows window's start-up timed under Wine (scripts/measure-startup).
# shellcheck disable=SC2034 # read by scripts/measure-startup, which sources this file
STARTUP_PACKAGES=(cmake ninja-build "${CROSS_COMPILER[x64]}" wine wine64 xvfb xauth)
# A fresh Debian root (scripts/lib/debian-root.sh), and the Windows icon's
# renderers (scripts/make-windows-icon).
# shellcheck disable=SC2034 # read by scripts/lib/debian-root.sh, which sources this file
DEBIAN_ROOT_PACKAGES=(mmdebstrap git)
# shellcheck disable=SC2034 # read by scripts/make-windows-icon, which sources this file
ICON_PACKAGES=(librsvg2-bin imagemagick)

# The fuzzers: clang, its libFuzzer and sanitizer runtimes, and
# llvm-symbolizer for readable reports. These are the release's default
# clang (Debian's llvm-defaults), whatever its version: they put clang++ and
# llvm-symbolizer on the PATH, where the fuzz preset and scripts/test-fuzz
# find them, so no script names a clang version.
BUILD_PACKAGES+=(clang libclang-rt-dev llvm)

# Running things side by side, said once. What a script starts beside its
# own steps runs in a process group of its own, its output kept; the script
# waits for it by name and gets its status back, so that a failure beside
# cannot be lost by a missing word (under set -e, `joined NAME` fails as the
# command did). An exit before the join, an error or an interrupt, ends each
# such group whole: nothing of it is left running.
#
#   beside [--uninterrupted] NAME COMMAND...
#       starts COMMAND (a program or a function) with no input; with
#       --uninterrupted an early exit waits for it instead of ending it
#       (apt-get: an interrupted dpkg leaves the machine to mend).
#   joined NAME...
#       waits for each in turn and shows its output under a heading; fails
#       with the first failure's status once all have ended.
#   at_exit FUNCTION
#       runs FUNCTION when the script exits, after what beside started has
#       ended; the last one given runs first.
declare -A beside_pid=() beside_log=() beside_since=() beside_waited=()
exit_actions=()
beside() {
    local waited=0
    [ "$1" != --uninterrupted ] || { waited=1; shift; }
    local name=$1
    [ -z "${beside_pid[$name]:-}" ] || { echo "beside: $name is running already" >&2; return 2; }
    beside_log[$name]=$(mktemp)
    beside_since[$name]=$SECONDS beside_waited[$name]=$waited
    # Job control gives the background job a process group of its own,
    # which its pid names. It starts with the signals' default actions: an
    # end sent to it at once, before it runs the command, would otherwise
    # be taken by this script's traps, which it holds until then.
    trap - INT TERM
    set -m
    # shellcheck disable=SC2064 # the log's name is fixed here, at the start
    ( trap "echo \$SECONDS >'${beside_log[$name]}.ended'" EXIT; "${@:2}" ) </dev/null >"${beside_log[$name]}" 2>&1 &
    beside_pid[$name]=$!
    set +m
    exit_traps
}
joined() {
    local name status ended first=0
    for name in "$@"; do
        [ -n "${beside_pid[$name]:-}" ] || { echo "joined: nothing named $name was started beside" >&2; return 2; }
        status=0
        wait "${beside_pid[$name]}" || status=$?
        unset "beside_pid[$name]"
        # Its own time, to its end: an earlier join may have waited longer.
        ended=$(cat "${beside_log[$name]}.ended" 2>/dev/null || echo "$SECONDS")
        echo "--- $name, run beside: $((ended - beside_since[$name])) s, status $status"
        cat "${beside_log[$name]}"
        rm -f "${beside_log[$name]}" "${beside_log[$name]}.ended"
        if [ "$status" -ne 0 ]; then
            echo "FAILED: $name (status $status)" >&2
            [ "$first" -ne 0 ] || first=$status
        fi
    done
    return "$first"
}
at_exit() {
    exit_actions=("$1" "${exit_actions[@]}")
    exit_traps
}
# An interrupt or a TERM ends the script through its exit, and so through
# ended_on_exit.
exit_traps() {
    trap ended_on_exit EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
}
ended_on_exit() {
    local status=$? name action
    for name in "${!beside_pid[@]}"; do
        [ "${beside_waited[$name]}" -eq 1 ] || kill -TERM -- "-${beside_pid[$name]}" 2>/dev/null || true
    done
    for name in "${!beside_pid[@]}"; do
        wait "${beside_pid[$name]}" 2>/dev/null || true
        rm -f "${beside_log[$name]}" "${beside_log[$name]}.ended"
    done
    beside_pid=()
    for action in "${exit_actions[@]}"; do "$action" || status=$((status ? status : 1)); done
    exit "$status"
}

# configured_and_built PRESET: configures and builds PRESET, holding a lock
# in its build folder (build-PRESET, as for every preset but default)
# meanwhile: scripts/test builds later presets ahead,
# beside the stages that build them too, and two builds must never share
# a folder. A build that finds the folder locked waits, then does what is
# left, so a build ahead that failed fails again here, in view.
configured_and_built() {
    mkdir -p "$ROOT/build-$1"
    { flock 9 && cmake --preset "$1" && cmake --build --preset "$1"; } 9>"$ROOT/build-$1/.lock"
}

# workflows PRESET...: what `cmake --workflow --preset` does for each preset
# in turn (configure, build, test), except that each next preset is
# configured and built beside the tests of the one before: the tests under
# Wine and qemu leave much of the processor idle, waiting on windows and on
# emulated start-ups. No other test runs beside a build. Stops at the first
# failure, once the build beside it has ended.
workflows() {
    local presets=("$@") i next tested
    configured_and_built "${presets[0]}" || return
    for i in "${!presets[@]}"; do
        next=${presets[i + 1]:-}
        [ -z "$next" ] || beside "$next, configured and built" configured_and_built "$next"
        tested=0
        ctest --preset "${presets[i]}" || tested=$?
        [ -z "$next" ] || joined "$next, configured and built" || return
        [ "$tested" -eq 0 ] || return "$tested"
    done
}
