#!/usr/bin/env bash
# Builds the two Debian packages from one Release build of the programs (no
# tests, benchmarks or fuzz targets), their dependencies computed from the
# binaries by dpkg-shlibdeps:
#   build/package/nodescan-cli_2.50-2_amd64.deb  nodescan-cli, for servers (no Qt)
#   build/package/nodescan_2.50-2_amd64.deb      the desktop program nodescan
#
#   scripts/package.sh           build the packages and print their paths
#   scripts/package.sh --check   also unpack each into a temporary root and run
#                                its program from there, validate the desktop
#                                file, the metainfo, the manual pages and the
#                                completion, run lintian (no error allowed),
#                                and install each with apt into a fresh minimal
#                                Debian 12 of its own (scripts/fresh-install.sh,
#                                as root): nodescan-cli must bring in fewer
#                                than 20 packages
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
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNODESCAN_BUILD_GUI=ON \
    -DNODESCAN_BUILD_TESTS=OFF -DNODESCAN_BUILD_BENCH=OFF -DNODESCAN_BUILD_FUZZ=OFF >/dev/null
cmake --build "$build"
# Only this run's packages: cpack leaves earlier ones beside them.
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
cli=$build/nodescan-cli_2.50-2_amd64.deb
gui=$build/nodescan_2.50-2_amd64.deb
for deb in "$cli" "$gui"; do
    [ -f "$deb" ] || { echo "$0: $deb was not made" >&2; exit 1; }
done
[ $check -eq 1 ] || { printf '%s\n' "$cli" "$gui"; exit 0; }

scripts/install-deps.sh lintian desktop-file-utils appstream man-db groff-base
work=$(mktemp -d /tmp/nodescan-package.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
cli_root=$work/cli
gui_root=$work/gui
dpkg-deb -x "$cli" "$cli_root"
dpkg-deb -x "$gui" "$gui_root"
fail() { echo "$0: $*" >&2; exit 1; }

echo "--- the packages"
for deb in "$cli" "$gui"; do
    dpkg-deb -f "$deb" Package Version Architecture Depends Recommends Suggests
done
[ "$("$cli_root/usr/bin/nodescan-cli" --version)" = "nodescan 2.50" ] || fail "nodescan-cli --version"
[ "$("$gui_root/usr/bin/nodescan" --version)" = "nodescan 2.50" ] || fail "nodescan --version"

echo "--- every installed file in exactly one package"
DESTDIR=$work/all cmake --install "$build" --prefix /usr >/dev/null
files() { (cd "$1" && find . ! -type d); }
diff <(files "$work/all" | sort) <({ files "$cli_root"; files "$gui_root"; } | sort) ||
    fail "the packages do not hold each installed file once (install rules without a COMPONENT?)"

echo "--- nodescan-cli from its package, on the demo installation"
scripts/demo-tree.sh "$work/home/Half-Life" >/dev/null
export NODESCAN_HOME=$work/home NODESCAN_SEARCH_ROOTS=$work/home NODESCAN_ONLINE=0
"$cli_root/usr/bin/nodescan-cli" check --game-dir "$work/home/Half-Life/cstrike/" >"$work/check.txt" 2>&1 ||
    { cat "$work/check.txt" >&2; fail "nodescan-cli check failed"; }
grep -q "Waypoints Missing" "$work/check.txt" || fail "nodescan-cli check printed no lists"

echo "--- nodescan from its package, offscreen (ended after 5 s)"
mkdir -m 0700 "$work/runtime"
rc=0
XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen timeout 5 "$gui_root/usr/bin/nodescan" \
    >"$work/gui.txt" 2>&1 || rc=$?
[ $rc -eq 124 ] || { cat "$work/gui.txt" >&2; fail "nodescan ended with $rc before it was stopped"; }

echo "--- desktop file, metainfo, manual pages, completion"
desktop-file-validate "$gui_root/usr/share/applications/nodescan.desktop"
appstreamcli validate --no-net "$gui_root/usr/share/metainfo/io.github.nodescan.Nodescan.metainfo.xml"
for page in "$cli_root"/usr/share/man/man1/*.1.gz "$gui_root"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=all -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$warnings" >&2; fail "$(basename "$page") has warnings"; }
done
bash -n "$cli_root/usr/share/bash-completion/completions/nodescan-cli"

echo "--- lintian"
lintian --fail-on error "$cli" "$gui"

echo "--- each package installed with apt on a fresh Debian 12"
scripts/fresh-install.sh --under 20 "$cli" "nodescan-cli --version"
scripts/fresh-install.sh "$gui" "nodescan --version"
echo "$cli, $gui: ok"
