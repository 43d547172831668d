# Shared by the scripts: the project's root and installing missing packages.
# shellcheck shell=bash

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Installs the Debian packages named that are not installed yet.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "Missing packages: ${missing[*]}; run as root or install sudo." >&2
            return 1
        fi
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# What building and starting the window needs (scripts/run).
RUN_PACKAGES=(cmake ninja-build g++ qt6-base-dev libgl-dev
              # The font the window is drawn for; it fits itself to any other.
              fonts-liberation)

# What building the Debian package needs (scripts/package deb): the window's
# and the command line's build (CLI11 is its header-only parser), the icon's
# renderer, the man pages' tools and dpkg-shlibdeps.
PACKAGE_BUILD_PACKAGES=("${RUN_PACKAGES[@]}" libcli11-dev librsvg2-bin help2man gzip dpkg-dev file)

# What checking the package needs (scripts/test-package) besides building
# it: validators for the desktop entry and the metainfo, lintian, and a
# private X server with keyboard input for the real-window test (xmodmap
# gives the characters it types keys of their own).
PACKAGE_CHECK_PACKAGES=(desktop-file-utils appstream lintian xvfb xauth xdotool x11-xserver-utils)

# What building and testing the project needs: everything, the locale
# sources from which the tests compile a comma-decimal locale, and DejaVu,
# the only font of the window tests' second run.
BUILD_PACKAGES=("${PACKAGE_BUILD_PACKAGES[@]}" "${PACKAGE_CHECK_PACKAGES[@]}"
                pkg-config libgtest-dev libgmock-dev libbenchmark-dev locales fonts-dejavu-core)

# The sanitized build and the fuzzers: clang, its libFuzzer and sanitizer
# runtimes, and llvm-symbolizer for readable reports.
BUILD_PACKAGES+=(clang-14 libclang-rt-14-dev llvm-14)
