#!/usr/bin/env bash
# Builds the Debian package build/package/nodescan_2.50-1_amd64.deb (a
# Release build without the tests; its dependencies computed from the
# binaries by dpkg-shlibdeps).
#
#   scripts/package.sh           build the package and print its path
#   scripts/package.sh --check   also unpack it into a temporary root and run
#                                the installed programs from there, validate
#                                the desktop file, the metainfo and the manual
#                                pages, and run lintian (no error allowed)
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
case "${1:-}" in
    --check) check=1 ;;
    "") ;;
    *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

scripts/install-deps.sh dpkg-dev file
build=build/package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNODESCAN_BUILD_TESTS=OFF >/dev/null
cmake --build "$build"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$build/nodescan_2.50-1_amd64.deb
[ -f "$deb" ] || { echo "$0: $deb was not made" >&2; exit 1; }
[ $check -eq 1 ] || { echo "$deb"; exit 0; }

scripts/install-deps.sh lintian desktop-file-utils appstream man-db groff-base
work=$(mktemp -d /tmp/nodescan-package.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
root=$work/root
dpkg-deb -x "$deb" "$root"
fail() { echo "$0: $*" >&2; exit 1; }

echo "--- the package"
dpkg-deb -f "$deb" Package Version Architecture Depends
for prog in nodescan nodescan-cli; do
    [ "$("$root/usr/bin/$prog" --version)" = "nodescan 2.50" ] || fail "$prog --version"
done

echo "--- nodescan-cli from the package, on the demo installation"
scripts/demo-tree.sh "$work/home/Half-Life" >/dev/null
export NODESCAN_HOME=$work/home NODESCAN_SEARCH_ROOTS=$work/home NODESCAN_ONLINE=0
"$root/usr/bin/nodescan-cli" check --game-dir "$work/home/Half-Life/cstrike/" >"$work/check.txt" 2>&1 ||
    { cat "$work/check.txt" >&2; fail "nodescan-cli check failed"; }
grep -q "Waypoints Missing" "$work/check.txt" || fail "nodescan-cli check printed no lists"

echo "--- nodescan from the package, offscreen (ended after 5 s)"
mkdir -m 0700 "$work/runtime"
rc=0
XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen timeout 5 "$root/usr/bin/nodescan" \
    >"$work/gui.txt" 2>&1 || rc=$?
[ $rc -eq 124 ] || { cat "$work/gui.txt" >&2; fail "nodescan ended with $rc before it was stopped"; }

echo "--- desktop file, metainfo, manual pages, completion"
desktop-file-validate "$root/usr/share/applications/nodescan.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.nodescan.Nodescan.metainfo.xml"
for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=all -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$warnings" >&2; fail "$(basename "$page") has warnings"; }
done
bash -n "$root/usr/share/bash-completion/completions/nodescan-cli"

echo "--- lintian"
lintian --fail-on error "$deb"
echo "$deb: ok"
