#!/usr/bin/env bash
# Builds dist/population-generator_<version>_amd64.deb: a Release build of the
# programs alone (preset "package", folder build-package, no tests and no
# benchmarks), with Debian's hardening flags, packed by CPack. The package's
# dependencies are computed by dpkg-shlibdeps from the libraries the
# programs link.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"

ensure_packages "${PACKAGE_BUILD_PACKAGES[@]}"

# Debian's compiler and linker flags (stack protector, fortify, relro, bind
# now). CMake reads them from the environment when it configures afresh.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS

cmake --preset package --fresh >/dev/null
nice cmake --build --preset package --parallel 2

out="$ROOT/build-package/cpack"
rm -rf "$out"
# CPack dates the .deb's members and every file in it by SOURCE_DATE_EPOCH.
(cd "$ROOT/build-package" && SOURCE_DATE_EPOCH=$(source_date_epoch) cpack -G DEB -B "$out")
mkdir -p "$ROOT/dist"
shopt -s nullglob
debs=("$out"/population-generator_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] || { echo "package-deb: expected one .deb in $out, found ${#debs[@]}" >&2; exit 1; }
deb="$ROOT/dist/$(basename "${debs[0]}")"
cp "${debs[0]}" "$deb"
echo "Built $deb ($(du -k "$deb" | cut -f1) KiB)"
dpkg-deb --field "$deb" Depends
