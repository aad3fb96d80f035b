#!/usr/bin/env bash
# Makes docs/screenshot-simple.png and docs/screenshot-advanced.png: the
# desktop program's window on the demo installation after a missing-waypoint
# check, in the simple and the advanced layout, drawn on Qt's offscreen
# platform (no display needed).
#
# Usage: scripts/screenshots.sh [BUILD_DIR]     (default build/default)
#
# Builds the picture tool when needed. Settings, the game copy and Qt's
# runtime directory live in a temporary directory that is removed at the end;
# the program finds the game itself, as on a first run. Needs a font
# (fonts-dejavu-core).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/default}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset default -B "$build" >/dev/null
fi
cmake --build "$build" --target nodescan_screenshot >/dev/null
if [ -z "$(find /usr/share/fonts /usr/local/share/fonts -name '*.tt[fc]' -print -quit 2>/dev/null)" ]; then
    echo "$0: no fonts installed; install fonts-dejavu-core" >&2
    exit 1
fi

work=$(mktemp -d /tmp/nodescan-screenshots.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
scripts/demo-tree.sh "$work/game/Half-Life" >/dev/null
mkdir -m 0700 "$work/runtime"
mkdir -p docs

QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" NODESCAN_ONLINE=0 \
    NODESCAN_HOME="$work/home" NODESCAN_SEARCH_ROOTS="$work/game" \
    "$build/tests/gui/nodescan_screenshot" docs >"$work/log.txt" 2>&1 || {
    cat "$work/log.txt" >&2
    exit 1
}
echo "docs/screenshot-simple.png docs/screenshot-advanced.png"
