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
    # Quiet unless it fails: which package pkg-config missed is only in its
    # status lines.
    if ! log=$(cmake --preset "$preset" 2>&1); then printf '%s\n' "$log" >&2; exit 1; fi
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j2
done
