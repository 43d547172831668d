#!/usr/bin/env bash
# dist/population-generator-<version>.html: the page, one self-contained
# file (the core compiled to WebAssembly inside) that opens from disk in any
# current browser. Built with emscripten in build-package-web, without the
# tests. The file holds no time and no build path: the same sources give
# the same bytes in any folder. With POPGEN_PACKAGE_TESTED=1
# (scripts/test-web), the page comes from the build its tests ran on,
# build-web, as the Windows zips do (package-windows.sh).
set -euo pipefail
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/package-findings.sh"
cd "$ROOT"

ensure_packages "${WEB_BUILD_PACKAGES[@]}"

build="$ROOT/build-package-web"
# Debian's emscripten runs its JavaScript optimiser with the node on the
# PATH, which finds Debian's acorn here.
export NODE_PATH=/usr/share/nodejs
if [ "${POPGEN_PACKAGE_TESTED:-}" = 1 ]; then
    build="$ROOT/build-web"
    [ -f "$build/CMakeCache.txt" ] || { echo "package-web: $build is not configured (cmake --preset web)" >&2; exit 1; }
else
    cmake --preset web -B "$build" -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$build" --target population-generator-web --parallel 2

version=$(project_version "$build")
mkdir -p "$ROOT/dist"
page="$ROOT/dist/population-generator-$version.html"
cp "$build/web/population-generator.html" "$page"
page_notices "$page"
echo "dist/population-generator-$version.html: $(wc -c <"$page") bytes"
