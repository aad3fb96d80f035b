#!/usr/bin/env bash
# Line coverage of the program's own sources by the whole test suite (unit,
# integration and GUI tests).
#
# Usage: scripts/coverage.sh [BUILD_DIR]     (default build/coverage)
#
# Installs what is missing (gcovr among it), builds everything with gcc's
# --coverage at -O0 with the window on, runs every test with ctest, and
# counts only app/ bots/ check/ cli/ core/ download/ platform/ resources/
# settings/ (not the tests, benchmarks, fuzz targets, demo, nor the files the
# build generates). Prints a summary line such as
#   lines: 83.4% (1234 out of 1480)
# and leaves BUILD_DIR/coverage.txt (per file), BUILD_DIR/coverage-dirs.txt
# (per directory) and BUILD_DIR/coverage/index.html.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/coverage}

scripts/install-deps.sh gcovr

# The programs end with _exit (ExitProcess), which skips the step that
# writes the counts: every program is linked with a wrapper of _exit that
# writes them first.
mkdir -p "$build"
build=$(cd "$build" && pwd)
printf '%s\n' 'extern "C" void __gcov_dump(void);' 'extern "C" void __real__exit(int);' \
    'extern "C" void __wrap__exit(int code) { __gcov_dump(); __real__exit(code); }' \
    >"$build/gcov_exit.cpp"
g++ -c -O0 -o "$build/gcov_exit.o" "$build/gcov_exit.cpp"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNODESCAN_BUILD_GUI=ON \
    -DNODESCAN_BUILD_TESTS=ON "-DCMAKE_CXX_FLAGS=--coverage -O0 -fprofile-update=atomic" \
    "-DCMAKE_EXE_LINKER_FLAGS=--coverage -Wl,--wrap=_exit $build/gcov_exit.o" >/dev/null
cmake --build "$build"

# Counts from an earlier run would add up with this one's; the notes of
# objects that the build no longer makes (a source removed since) would be
# counted as lines never run.
find "$build" -name '*.gcda' -delete
ninja -C "$build" -t targets all | sed -n 's/\.o: .*/.gcno/p' | sort >"$build/notes.txt"
(cd "$build" && find . -name '*.gcno' | sed 's|^\./||' | sort | comm -23 - notes.txt | xargs -r rm -f)
# A failing test still leaves its counts; report them, then fail.
status=0
ctest --test-dir "$build" -j2 --output-on-failure || status=$?

filters=()
for dir in app bots check cli core download platform resources settings; do
    filters+=(--filter "$root/$dir/")
done
mkdir -p "$build/coverage"
gcovr --root "$root" --object-directory "$build" "${filters[@]}" \
    --exclude-unreachable-branches -j 2 \
    --txt "$build/coverage.txt" --html-details "$build/coverage/index.html" \
    --print-summary | grep '^lines:' | tee "$build/coverage-summary.txt"

# Per directory: lines covered and lines counted, from the per-file table.
awk '$1 ~ /\// && $2 ~ /^[0-9]+$/ {
        split($1, p, "/"); d = p[1] == "platform" ? p[1] "/" p[2] : p[1]
        if (d ~ /\.(cpp|h)$/) d = p[1]
        total[d] += $2; hit[d] += $3
     }
     END { for (d in total) printf "%-20s %6.1f%% (%d out of %d)\n", d,
                                   100 * hit[d] / total[d], hit[d], total[d] }' \
    "$build/coverage.txt" | sort | tee "$build/coverage-dirs.txt"
exit $status
