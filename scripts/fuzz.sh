#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang in build/fuzz and runs them.
#
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
#        scripts/fuzz.sh --replay [TARGET...]
#
# The first form fuzzes every target (or those named, e.g. http_fuzz) for
# SECONDS each (default 60), starting from a copy of its seed corpus
# fuzz/corpus/NAME in build/fuzz/work/NAME, and prints per target the
# executions per second and whether anything was found. Inputs that crash
# are kept in build/fuzz/work/NAME/artifacts. The seed corpora themselves are
# never changed.
#
# --replay runs every target once over its seed corpus (each file once, no
# fuzzing), as continuous integration does: a crash or a hang fails it.
#
# Further libFuzzer options may be given in FUZZ_FLAGS, e.g.
#   FUZZ_FLAGS="-fork=2 -ignore_crashes=1" scripts/fuzz.sh 600 http_fuzz
#
# Exits 1 when a target crashed (or ran out of time or memory on an input).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/fuzz

replay=0
seconds=60
if [ "${1:-}" = "--replay" ]; then
    replay=1
    shift
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
    seconds=$1
    shift
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for src in fuzz/*_fuzz.cpp; do
        name=$(basename "$src" .cpp)
        targets+=("$name")
    done
fi

# ---- build ----------------------------------------------------------------
scripts/install-deps.sh clang libclang-rt-dev
cxx=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$cxx" ]; then
    echo "fuzz.sh: clang++ not found" >&2
    exit 2
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DNODESCAN_BUILD_FUZZ=ON -DNODESCAN_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}"

# The targets write their inputs to files in a directory of their own below
# TMPDIR: a memory file system makes that several times faster than a disk.
# A target that crashes leaves its directory, so all of them are made in one
# that goes when this script ends.
base=${TMPDIR:-/tmp}
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    base=/dev/shm
fi
TMPDIR=$(mktemp -d "$base/nodescan-fuzz-run-XXXXXX")
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT

# A hang is a finding too: no input may take this long.
common=(-timeout=25 -rss_limit_mb=2560 -print_final_stats=1)
read -r -a extra <<<"${FUZZ_FLAGS:-}"


# The value of a libFuzzer final statistic in log ("" when absent).
stat() {
    sed -n "s/^stat::$2: *//p" "$1" | tail -n 1
}

failed=()
for name in "${targets[@]}"; do
    bin=$build/fuzz/$name
    corpus=$root/fuzz/corpus/$name
    work=$build/work/$name
    rm -rf "$work"
    mkdir -p "$work/artifacts"
    dict=()
    [ -f "fuzz/$name.dict" ] && dict=(-dict="$root/fuzz/$name.dict")
    if [ ! -d "$corpus" ]; then
        echo "fuzz.sh: no seed corpus $corpus" >&2
        failed+=("$name")
        continue
    fi

    status=0
    if [ "$replay" -eq 1 ]; then
        "$bin" "${common[@]}" -runs=0 -artifact_prefix="$work/artifacts/" "$corpus" \
            >"$work/log" 2>&1 || status=$?
        inputs=$(find "$corpus" -type f | wc -l)
        if [ "$status" -eq 0 ]; then
            printf '%-16s %4d inputs replayed, none failed\n' "$name" "$inputs"
        fi
    else
        cp -r "$corpus" "$work/corpus"
        seeds=$(find "$work/corpus" -type f | wc -l)
        (cd "$work" && "$bin" "${common[@]}" "${extra[@]}" "${dict[@]}" -max_total_time="$seconds" \
            -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1) || status=$?
        if [ "$status" -eq 0 ]; then
            printf '%-16s %8s exec/s  %10s runs  corpus %d -> %d  nothing found\n' "$name" \
                "$(stat "$work/log" average_exec_per_sec)" \
                "$(stat "$work/log" number_of_executed_units)" "$seeds" \
                "$(find "$work/corpus" -type f | wc -l)"
        fi
    fi
    if [ "$status" -ne 0 ]; then
        failed+=("$name")
        printf '%-16s FOUND (exit %d), log %s\n' "$name" "$status" "$work/log"
        grep -E '^property broken|^==[0-9]+==ERROR|^SUMMARY|^artifact_prefix|Test unit written|^ALARM|^MS:' \
            "$work/log" | head -n 8 | sed 's/^/    /'
        for a in "$work"/artifacts/*; do
            [ -e "$a" ] && echo "    input: $a"
        done
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz.sh: found something in: ${failed[*]}" >&2
    exit 1
fi
