# Shared by the scripts: the project's root and installing missing packages.
# shellcheck shell=bash
# shellcheck disable=SC2034 # the package lists are read by the scripts that source this file

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# The time the packages' entries are dated by (the files in the zip, the
# .deb's members and files): SOURCE_DATE_EPOCH when it is set, else the time
# of the commit checked out, so that one commit gives the same packages.
# Nothing that is built depends on it: only the packing steps are given it.
source_date_epoch() { echo "${SOURCE_DATE_EPOCH:-$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null || echo 0)}"; }

# shell_scripts: the project's shell scripts, one a line, from the root: the
# *.sh, *.bash and *.bats files and every other whose first line is a shell's
# #!. Of the files in the clone, new ones too (but not those .gitignore leaves
# out); outside a clone, of all but the build folders, dist/ and node_modules/.
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

# project_version BUILD: the project's version, as build folder BUILD has it.
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
    local missing=() package
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

# What building and starting the window needs (scripts/run); Liberation is
# the font the window is drawn for (it fits itself to any other).
RUN_PACKAGES=(cmake ninja-build g++ qt6-base-dev libgl-dev fonts-liberation)

# The README's list for another distribution, in Debian's names, with Make,
# CMake's default build tool: all that the plain CMake build needs for the
# window, the command line and their desktop files (scripts/test-plain-build).
PLAIN_BUILD_PACKAGES=(cmake make ninja-build g++ qt6-base-dev libgl-dev libcli11-dev)
# What its tests need besides: GoogleTest, bats, the window tests' tools and
# fonts (a private X server, the comma-decimal locale's sources, DejaVu) and
# what the guards run (pgrep, mkfs.ext4, ssh-keygen), which a minimal root
# may lack. The guard of test-reproducible --against skips there.
PLAIN_TEST_PACKAGES=(libgtest-dev bats bats-support bats-assert xvfb xauth xdotool x11-xserver-utils locales
                     fonts-dejavu-core fonts-liberation procps e2fsprogs openssh-client)

# The .deb (scripts/package deb): the build (CLI11 is the command line's
# header-only parser), the icon's renderer, the man pages' tools,
# dpkg-shlibdeps. Its checks (scripts/test-package): the desktop entry's and
# the metainfo's validators and lintian; in the root it is installed in, a
# private X server with keyboard input for the real-window test.
PACKAGE_BUILD_PACKAGES=("${RUN_PACKAGES[@]}" libcli11-dev librsvg2-bin help2man gzip dpkg-dev file)
PACKAGE_CHECK_PACKAGES=(desktop-file-utils appstream lintian)
PACKAGE_ROOT_PACKAGES=(xvfb xauth xdotool x11-xserver-utils)

# scripts/test-reproducible, besides what scripts/package installs: clones,
# reprotest and its variations' tools (faketime, another locale's sources),
# diffoscope and what it opens the packages with (zipinfo, binutils).
REPRODUCIBLE_CHECK_PACKAGES=(git reprotest faketime locales diffoscope-minimal unzip binutils)

# What building and testing the project needs: all of the above, the locale
# sources and DejaVu of the window tests, shellcheck, bats and what the
# guards run; the fuzzers' clang, its libFuzzer and sanitizer runtimes and
# llvm-symbolizer, the release's default (llvm-defaults: no script names a
# clang version); mkfs.ext4 for the file system of a run's roots (run_stages).
BUILD_PACKAGES=("${PACKAGE_BUILD_PACKAGES[@]}" "${PACKAGE_CHECK_PACKAGES[@]}" "${PACKAGE_ROOT_PACKAGES[@]}"
                "${REPRODUCIBLE_CHECK_PACKAGES[@]}" pkg-config libgtest-dev libgmock-dev libbenchmark-dev locales
                fonts-dejavu-core shellcheck procps openssh-client bats bats-support bats-assert
                clang libclang-rt-dev llvm e2fsprogs)

# The page (scripts/package web): emscripten, with the Node.js and acorn it
# brings. Its tests (scripts/test-web), driven from Python: headless
# Chromium through chromedriver and WebKitGTK's MiniBrowser (on Xvfb)
# through WebKitWebDriver, with Selenium; headless Firefox ESR over
# WebDriver BiDi, with websocket-client; the font the page is drawn for.
WEB_BUILD_PACKAGES=(cmake ninja-build emscripten)
WEB_TEST_PACKAGES=(chromium chromium-driver firefox-esr webkit2gtk-driver xvfb python3-selenium python3-websocket
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
declare -A CROSS_COMPILER=([x64]=g++-mingw-w64-x86-64 [x86]=g++-mingw-w64-i686
                           [arm64]=g++-aarch64-linux-gnu [armhf]=g++-arm-linux-gnueabihf)
# The Windows tests under Wine (scripts/test-windows adds each compiler, and
# for x86 32-bit Wine from Debian's i386 architecture): a private X server
# with keyboard input, bats for the command line's. Then the zips.
WINDOWS_TEST_PACKAGES=(cmake ninja-build googletest libcli11-dev wine wine64 xvfb xauth xdotool x11-xserver-utils
                       bats bats-support bats-assert)
WINE32_PACKAGES=(wine32:i386)
WINDOWS_PACKAGE_PACKAGES=(cmake ninja-build libcli11-dev zip unzip)
# The ARM tests under qemu-user (scripts/test-arm adds each compiler).
ARM_TEST_PACKAGES=(cmake ninja-build googletest libcli11-dev locales qemu-user bats bats-support bats-assert)
# The Win32 window's start-up under Wine (scripts/measure-startup); a fresh
# Debian root (debian-root.sh); the Windows icon's renderers (make-windows-icon).
STARTUP_PACKAGES=(cmake ninja-build "${CROSS_COMPILER[x64]}" wine wine64 xvfb xauth)
DEBIAN_ROOT_PACKAGES=(mmdebstrap git)
ICON_PACKAGES=(librsvg2-bin imagemagick)

# at_exit FUNCTION: runs FUNCTION when the script exits, however it ends
# (an error, an interrupt or a TERM too); the last one given runs first,
# and a failed one fails the exit.
exit_actions=()
at_exit() {
    exit_actions=("$1" "${exit_actions[@]}")
    trap exit_actions_run EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
}
exit_actions_run() {
    local status=$? action
    for action in "${exit_actions[@]}"; do "$action" || status=$((status ? status : 1)); done
    exit "$status"
}

# configured_and_built PRESET: configures and builds PRESET, holding a lock
# in its build folder (build-PRESET, as for every preset but default)
# meanwhile: a stage run alone may meet the same build in a run of the
# stages, and two builds must never share a folder. A build that finds the
# folder locked waits, then does what is left.
configured_and_built() {
    mkdir -p "$ROOT/build-$1"
    { flock 9 && cmake --preset "$1" && cmake --build --preset "$1"; } 9>"$ROOT/build-$1/.lock"
}

# run_stages LABEL: the stages of stages/CMakeLists.txt that carry LABEL
# (and the stages they need), run by CTest, which starts each once what it
# needs has passed and its share of the machine is free, keeps its
# output (shown when it fails) and says how long each took. As root, the
# run is the first process of namespaces of its own (alone, debian-root.sh):
# an interrupt, a TERM or a kill of this script ends every process of it by
# the kernel's rule, and the Debian roots its stages make (POPGEN_ROOTS) lie
# on a file system that lives only as long as the run, so none is left.
run_stages() {
    local stages=$ROOT/build-stages
    cmake -S "$ROOT/stages" -B "$stages" -G Ninja >/dev/null
    local run=(ctest --test-dir "$stages" -L "^($1)\$" -j 5 --resource-spec-file "$ROOT/stages/resources.json"
               --output-on-failure)
    if [ "$(id -u)" -ne 0 ]; then "${run[@]}"; return; fi
    # shellcheck source=scripts/lib/debian-root.sh
    source "$ROOT/scripts/lib/debian-root.sh"
    mkdir -p "$stages/roots"
    # The file system's image is unlinked once mounted: its space is freed
    # when the last mount of it, this run's, goes.
    POPGEN_ROOTS=$stages/roots alone sh -c 'image=$(mktemp "${TMPDIR:-/tmp}/popgen-roots.XXXXXX") &&
        truncate -s 1T "$image" && mkfs.ext4 -q "$image" && mount -o loop "$image" "$POPGEN_ROOTS"
        status=$?; rm -f "$image"; [ "$status" -eq 0 ] && exec "$@"' run_stages "${run[@]}"
}
