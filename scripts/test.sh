#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite. With
# arguments, runs it under each preset named (default, asan, tsan).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
presets=("$@")
[ ${#presets[@]} -eq 0 ] && presets=(default)
for preset in "${presets[@]}"; do
    echo "=== tests under the $preset preset ==="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j2
done
