#!/usr/bin/env bash
# dist/population-generator-<version>-windows-x64.zip for 64-bit Windows and
# dist/population-generator-<version>-windows-x86.zip for 32-bit Windows (and
# Windows 10 on ARM), each holding the same: the Win32 program (one
# statically linked .exe), an empty folder "files" beside it, so that a
# double-click works at once, README.txt, LICENSE.txt, and the command line
# (a console program, also one file) for scripts. Each zip's contents are
# checked once it is made. Cross-built with mingw-w64 in
# build-package-windows (x64) and build-package-windows-x86, without the
# tests. POPGEN_WINDOWS_ARCHES names the zips to make (default "x64 x86").
# With POPGEN_PACKAGE_TESTED=1 (scripts/test-windows), the programs come
# from the builds the tests ran on, build-mingw and build-mingw-x86 (Release
# builds too), not from builds of their own: what ships is what was tested,
# and nothing is built twice. Both ways give the same bytes
# (scripts/test-reproducible --against checks that).
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"

read -ra arches <<<"${POPGEN_WINDOWS_ARCHES:-x64 x86}"
packages=("${WINDOWS_PACKAGE_PACKAGES[@]}")
for arch in "${arches[@]}"; do
    case "$arch" in
        x64 | x86) packages+=("${CROSS_COMPILER[$arch]}") ;;
        *) echo "package-windows: unknown architecture '$arch' (x64, x86)" >&2; exit 2 ;;
    esac
done
ensure_packages "${packages[@]}"

# package ARCH: builds, zips and checks one architecture's zip.
package() {
    local arch=$1 toolchain triplet format processor windows build=$ROOT/build-package-windows
    case "$arch" in
        x64) toolchain=mingw-w64-x86_64 triplet=x86_64-w64-mingw32 format=pei-x86-64 processor=amd64
             windows="64-bit Windows 7 SP1, 8.1, 10 and 11" ;;
        x86) toolchain=mingw-w64-i686 triplet=i686-w64-mingw32 format=pei-i386 processor=x86 build+=-x86
             windows="32-bit Windows 7 SP1, 8.1 and 10, and Windows on ARM" ;;
    esac
    if [ "${POPGEN_PACKAGE_TESTED:-}" = 1 ]; then
        build="$ROOT/build-mingw${build#"$ROOT/build-package-windows"}"
        # The stripped Release programs that the zip must hold, not another build type's.
        grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$build/CMakeCache.txt" 2>/dev/null ||
            { echo "package-windows: $build is not a Release build of the tests (cmake --preset ${build##*/build-})" >&2; exit 1; }
    else
        cmake -S "$ROOT" -B "$build" -G Ninja --toolchain "$ROOT/cmake/$toolchain.cmake" \
            -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DPOPGEN_BUILD_BENCH=OFF -DPOPGEN_BUILD_UI=OFF \
            -DPOPGEN_BUILD_WIN32=ON -DPOPGEN_BUILD_CLI=ON >/dev/null
    fi
    cmake --build "$build" --target population-generator population-generator-cli --parallel 2

    local version name stage
    version=$(project_version "$build")
    name="population-generator-$version-windows-$arch"
    stage="$build/stage/$name"
    rm -rf "$build/stage"
    mkdir -p "$stage/files"
    cp "$build/win32/population-generator.exe" "$build/cli/population-generator-cli.exe" "$stage/"
    # Windows line ends, for every editor. The licence comes with the notices of
    # the libraries that the programs contain.
    sed -e "s/@VERSION@/$version/" -e "s/@WINDOWS@/$windows/" -e 's/$/\r/' "$ROOT/packaging/windows-readme.txt.in" \
        >"$stage/README.txt"
    { cat "$ROOT/LICENSE"; echo; cat "$ROOT/packaging/windows-notices.txt"; } | sed -e 's/$/\r/' >"$stage/LICENSE.txt"

    # The same sources give the same zip: the commit's time, a fixed order, and
    # times in UTC (zip keeps local times).
    local stamp
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
    local check="$build/check" expected listed text lines crlf program
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
    for program in population-generator.exe population-generator-cli.exe; do
        # Stripped when linked (the Release build type's flags): no symbol table.
        # Both tools are read in English, whatever the builder's language.
        LC_ALL=C "$triplet-nm" "$check/$name/$program" 2>&1 | grep -q 'no symbols' ||
            { echo "package-windows: $program is not stripped" >&2; exit 1; }
        # Built for the zip's Windows: 32-bit programs in the x86 zip.
        LC_ALL=C "$triplet-objdump" -f "$check/$name/$program" | grep -q "file format $format\$" ||
            { echo "package-windows: $program in the $arch zip is not $format" >&2; exit 1; }
    done
    # Windows starts no program whose manifest names another processor.
    grep -aq "name=\"PopulationGenerator\" version=\"[0-9.]*\" processorArchitecture=\"$processor\"" \
        "$check/$name/population-generator.exe" ||
        { echo "package-windows: the window's manifest does not name the processor $processor" >&2; exit 1; }
    echo "The $arch zip holds what it should."
}

for arch in "${arches[@]}"; do package "$arch"; done
