#!/usr/bin/env bash
# The Windows build: cross-compiled for 64-bit Windows with mingw-w64 and run
# under Wine. Installs what is missing (through sudo when not run as root),
# builds the collector for mingw-w64 from its Debian source into
# build/windows-deps, then configures and builds the "windows" preset and
# packs build/windows/nodescan-2.50-win64.zip: both programs, the help
# topics and README.txt.
#
# Usage: scripts/windows.sh          the archive
#        scripts/windows.sh --test   the test suite, run under Wine instead
set -euo pipefail
mode=archive
case "${1:-}" in
"") ;;
--test) mode=test ;;
*)
    echo "usage: scripts/windows.sh [--test]" >&2
    exit 2
    ;;
esac
cd "$(dirname "$0")/.."
root=$PWD
deps=$root/build/windows-deps
host=x86_64-w64-mingw32

# shellcheck source=scripts/lib/fresh-root.sh
. scripts/lib/fresh-root.sh  # say, and find_mirror for the source lines
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

scripts/install-deps.sh --windows

# The collector is not packaged for mingw-w64: its Debian source is. The
# source lines point at the Debian mirror this machine's apt already uses.
gc_built() { [ -f "$deps/lib/libgc.a" ] && [ -f "$deps/include/gc.h" ]; }
if ! gc_built; then
    mirror=$(find_mirror) || { say "no Debian mirror for $suite in apt's sources"; exit 1; }
    list=/etc/apt/sources.list.d/nodescan-src.sources
    entry="Types: deb-src
URIs: $mirror
Suites: $suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
    if [ "$(cat "$list" 2>/dev/null)" != "$entry" ]; then
        say "adding the source lines of $mirror to $list"
        printf '%s\n' "$entry" | "${sudo_cmd[@]}" tee "$list" >/dev/null
        "${sudo_cmd[@]}" apt-get update -qq
    fi
    src=$deps/src
    rm -rf "$src"
    mkdir -p "$src"
    # apt-get checks each downloaded file against the hashes of the signed
    # Sources index and stops on a mismatch; dpkg-source then unpacks the
    # tarballs only when they match the checksums the .dsc names. Either
    # failure ends this script (set -e): nothing unverified is built.
    (cd "$src" && apt-get source -qq libgc)
    gcdir=$(find "$src" -mindepth 1 -maxdepth 1 -type d | head -n1)
    [ -f "$gcdir/configure" ] || { say "no unpacked libgc source in $src"; exit 1; }
    say "building the collector from $(basename "$gcdir") for $host"
    # Win32 threads: the program's threads register themselves with the
    # collector (platform/common/threads.cpp). Static, like the programs.
    (cd "$gcdir" &&
        ./configure -q --host=$host CC=$host-gcc-posix CXX=$host-g++-posix \
            --prefix="$deps" --enable-threads=win32 --enable-static --disable-shared \
            --disable-docs --with-libatomic-ops=none &&
        make -s -j1 && make -s install)
    gc_built || { say "the collector did not build"; exit 1; }
fi

# The header-only libraries of the build: the packages' headers, linked
# where the cross-build looks.
mkdir -p "$deps/include"
ln -sfn /usr/include/nlohmann "$deps/include/nlohmann"
ln -sfn /usr/include/CLI "$deps/include/CLI"

cmake --preset windows
build=$root/build/windows-build
if [ $mode = test ]; then
    cmake --build --preset windows --target nodescan_tests nodescan-cli
    # A Wine prefix of the suite's own: the tests write the registry. The
    # suite runs from a directory of drive Z: (the Linux root), so that its
    # /tmp paths are the Linux tools' too.
    export WINEPREFIX=$root/build/windows-wine WINEDEBUG=-all
    say "running the test suite under Wine ($WINEPREFIX)"
    log=$build/tests/wine.log
    rc=0
    wine "$build/tests/nodescan_tests.exe" --gtest_color=no 2>&1 | tee "$log" || rc=$?
    # Wine may end a program that crashed with 0: the summary decides too.
    if [ $rc -ne 0 ] || ! grep -q '^\[  PASSED  \]' "$log" || grep -q '^\[  FAILED  \]' "$log"; then
        say "the test suite failed under Wine (exit $rc; see $log)"
        exit 1
    fi
    wineserver -k 2>/dev/null || true
    # The window: its host's tests and a check run in it, on a virtual display.
    exec scripts/windows-smoke.sh
fi

cmake --build --preset windows --target nodescan-cli nodescan
out=$root/build/windows
stage=$out/nodescan-2.50-win64
rm -rf "$stage" "$stage.zip"
mkdir -p "$stage/help"
cp "$build/nodescan.exe" "$build/nodescan-cli.exe" resources/windows/README.txt "$stage/"
cp resources/help/*.html resources/help/help.css "$stage/help/"
# Without their symbols: a third of the size.
$host-strip "$stage/nodescan.exe" "$stage/nodescan-cli.exe"
# DOS line ends for Notepad; the same bytes on every build (no extra fields,
# the sources' times).
sed -i 's/$/\r/' "$stage/README.txt"
find "$stage" -exec touch -d "@$(git log -1 --format=%ct 2>/dev/null || echo 0)" {} +
(cd "$out" && find nodescan-2.50-win64 | LC_ALL=C sort | zip -q -X -D -@ nodescan-2.50-win64.zip)
rm -rf "$stage"
say "made $out/nodescan-2.50-win64.zip"
