#!/usr/bin/env bash
# dist/population-generator-<version>-windows-x64.zip: the Win32 program (one
# statically linked .exe), an empty folder "files" beside it, so that a
# double-click works at once, README.txt, LICENSE.txt, and the command line
# (a console program, also one file) for scripts. The zip's contents are
# checked once it is made. Cross-built with mingw-w64 in
# build-package-windows, without the tests.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"

ensure_packages cmake ninja-build g++-mingw-w64-x86-64 libcli11-dev zip unzip

build="$ROOT/build-package-windows"
cmake -S "$ROOT" -B "$build" -G Ninja --toolchain "$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DPOPGEN_BUILD_BENCH=OFF -DPOPGEN_BUILD_UI=OFF \
    -DPOPGEN_BUILD_WIN32=ON -DPOPGEN_BUILD_CLI=ON >/dev/null
cmake --build "$build" --target population-generator population-generator-cli --parallel 2

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name="population-generator-$version-windows-x64"
stage="$build/stage/$name"
rm -rf "$build/stage"
mkdir -p "$stage/files"
cp "$build/win32/population-generator.exe" "$build/cli/population-generator-cli.exe" "$stage/"
# Windows line ends, for every editor. The licence comes with the notices of
# the libraries that the programs contain.
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' "$ROOT/scripts/lib/package-windows.txt" >"$stage/README.txt"
{ cat "$ROOT/LICENSE"; echo; cat "$ROOT/packaging/windows-notices.txt"; } | sed -e 's/$/\r/' >"$stage/LICENSE.txt"

# The same sources give the same zip: the commit's time, a fixed order, and
# times in UTC (zip keeps local times).
stamp=$(source_date_epoch)
find "$build/stage" -exec touch -h -d "@$stamp" {} +
mkdir -p "$ROOT/dist"
rm -f "$ROOT/dist/$name.zip"
# Folders are listed too, so the empty "files" is kept.
(cd "$build/stage" && find "$name" | LC_ALL=C sort | TZ=UTC zip -X -q -@ "$ROOT/dist/$name.zip")
echo "dist/$name.zip:"
unzip -l "$ROOT/dist/$name.zip"

# What a user unzips: the two programs, the folder files, the two texts with
# Windows line ends, and nothing else.
check="$build/check"
rm -rf "$check"
mkdir -p "$check"
unzip -q "$ROOT/dist/$name.zip" -d "$check"
expected="$name/ $name/LICENSE.txt $name/README.txt $name/files/ $name/population-generator-cli.exe $name/population-generator.exe"
listed=$(unzip -Z1 "$ROOT/dist/$name.zip" | LC_ALL=C sort | paste -sd ' ')
[ "$listed" = "$expected" ] || { echo "package-windows: the zip holds $listed, not $expected" >&2; exit 1; }
for text in README.txt LICENSE.txt; do
    lines=$(wc -l <"$check/$name/$text")
    crlf=$(grep -c $'\r$' "$check/$name/$text" || true)
    [ "$lines" -gt 0 ] && [ "$crlf" -eq "$lines" ] || { echo "package-windows: $text has $crlf CRLF lines of $lines" >&2; exit 1; }
done
grep -q "The Population generator authors" "$check/$name/LICENSE.txt" && grep -q "CLI11" "$check/$name/LICENSE.txt" ||
    { echo "package-windows: LICENSE.txt lacks the licence or the notices" >&2; exit 1; }
# Stripped when linked (the Release build type's flags): no symbol table.
for program in population-generator.exe population-generator-cli.exe; do
    x86_64-w64-mingw32-nm "$check/$name/$program" 2>&1 | grep -q 'no symbols' ||
        { echo "package-windows: $program is not stripped" >&2; exit 1; }
done
echo "The zip holds what it should."
