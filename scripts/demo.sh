#!/usr/bin/env bash
# Installs what is missing, builds, and runs the missing-waypoint check on the
# demo installation under a settings directory of its own.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target nodescan-cli

home=build/demo-home
scripts/demo-tree.sh "$home/Half-Life" >/dev/null
NODESCAN_HOME="$PWD/$home" NODESCAN_SEARCH_ROOTS="$PWD/$home" \
    build/default/nodescan-cli check --game-dir "$PWD/$home/Half-Life/cstrike/" "$@"
