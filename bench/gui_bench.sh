#!/usr/bin/env bash
# Times the desktop program's window on Qt's offscreen platform:
#   - start-up to the shown and painted main window, settings present and no
#     Auto Start: median <= 300 ms, peak RSS <= 80 MB (gui_startup under measure);
#   - the missing-waypoint check of 4000 maps that all have a Pod Bot waypoint,
#     from the press of "Go! Go! Go!" until both lists and both counters are
#     complete: median <= 1000 ms, the longest time the event loop did not
#     turn <= 16 ms (gui_check); for information also 4000 maps of which 2000
#     have a waypoint, so that both lists fill;
#   - a header click on the full right list of 4000 rows, until the sorted
#     list is painted: median of the slowest column <= 100 ms (gui_check);
#   - a 50 MB waypoint downloaded from python3 -m http.server on 127.0.0.1:
#     the progress bar's changes per second <= 60 (gui_download).
#
#   bench/gui_bench.sh [BUILD_DIR] [RUNS]      (default build/default, 15 runs)
#
# Exit 1 when a target is missed, 2 on a usage error, programs not built or a
# failed run. Builds nothing; generated data lives under /tmp and is removed.
set -euo pipefail

TARGET_STARTUP_MS=300
TARGET_STARTUP_RSS_MB=80
TARGET_CHECK_MS=1000
TARGET_SORT_MS=100
TARGET_PROGRESS_RATE=60
TARGET_STALL_MS=16
CHECK_RUNS=5

source "$(dirname -- "${BASH_SOURCE[0]}")/common.sh"
bench_args "$@"
require_built bench/measure bench/gui_startup bench/gui_check bench/gui_download
measure=$(realpath "$build/bench/measure")
startup=$(realpath "$build/bench/gui_startup")
check=$(realpath "$build/bench/gui_check")
download=$(realpath "$build/bench/gui_download")

work=$(mktemp -d /tmp/nodescan-gui-bench.XXXXXX)
server=
trap '[[ -n $server ]] && kill "$server"; rm -rf -- "$work"' EXIT
export QT_QPA_PLATFORM=offscreen NODESCAN_ONLINE=0
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 0700 "$XDG_RUNTIME_DIR"

# Start-up: the demo installation, settings left by an earlier run.
"$repo/scripts/demo-tree.sh" "$work/demo/Half-Life" >/dev/null
export NODESCAN_HOME=$work/home-startup NODESCAN_SEARCH_ROOTS=$work/demo
"$startup" --seed "$work/demo/Half-Life/cstrike/" 2>"$work/seed.txt" || {
    echo "$0: seeding the settings failed:" >&2
    cat "$work/seed.txt" >&2
    exit 2
}
echo "start-up, $runs runs:"
result=$("$measure" -n "$runs" -w 2 -q -- "$startup") || {
    echo "$0: a start-up run failed: $result" >&2
    exit 2
}
echo "  $result"
startup_ms=$(sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p' <<<"$result")
startup_rss=$(sed -n 's/.*peak_rss_mb=\([0-9.]*\).*/\1/p' <<<"$result")

# The check: 4000 maps, all with waypoints; then half of them.
"$repo/bench/check_bench.sh" --make-tree "$work/tree" 4000
export NODESCAN_HOME=$work/home-check NODESCAN_SEARCH_ROOTS=$work/tree
echo "check of 4000 maps with 4000 waypoints, $CHECK_RUNS runs:"
full=$("$check" "$work/tree/cstrike/" 4000 0 "$CHECK_RUNS" 2>"$work/check.txt") || {
    if [[ -z $full ]]; then
        echo "$0: the check failed:" >&2
        cat "$work/check.txt" >&2
        exit 2
    fi
}
echo "  $full"
check_ms=$(sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p' <<<"$full")
stall_ms=$(sed -n 's/.*max_stall_ms=\([0-9.]*\).*/\1/p' <<<"$full")
sort_ms=$(sed -n 's/.*sort_ms=\([0-9.]*\).*/\1/p' <<<"$full")

find "$work/tree/cstrike/PODBot/wptdefault" -name 'map_*[13579].pwf' -delete
export NODESCAN_HOME=$work/home-half
echo "check of 4000 maps with 2000 waypoints, $CHECK_RUNS runs:"
half=$("$check" "$work/tree/cstrike/" 2000 2000 "$CHECK_RUNS" 2>"$work/half.txt") || {
    if [[ -z $half ]]; then
        echo "$0: the check failed:" >&2
        cat "$work/half.txt" >&2
        exit 2
    fi
}
echo "  $half"
half_ms=$(sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p' <<<"$half")

# A download of 50 MB: one map without its waypoint, which the server has.
"$repo/bench/check_bench.sh" --make-tree "$work/dl" 1
mkdir "$work/web"
mv "$work/dl/cstrike/PODBot/wptdefault/map_0001.pwf" "$work/web/"
truncate -s 50M "$work/web/map_0001.pwf"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/web" >/dev/null 2>&1 &
server=$!
for _ in $(seq 100); do
    python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])))' \
        "$port" 2>/dev/null && break
    sleep 0.05
done
export NODESCAN_HOME=$work/home-download NODESCAN_SEARCH_ROOTS=$work/dl
echo "download of 50 MB:"
dl=$("$download" "$work/dl/cstrike/" "127.0.0.1:$port" / 2>"$work/download.txt") || {
    echo "$0: the download failed:" >&2
    cat "$work/download.txt" >&2
    exit 2
}
echo "  $dl"
rate=$(sed -n 's/.*updates_per_s=\([0-9.]*\).*/\1/p' <<<"$dl")

awk -v su="$startup_ms" -v rss="$startup_rss" -v ck="$check_ms" -v hf="$half_ms" -v st="$stall_ms" -v so="$sort_ms" -v tso="$TARGET_SORT_MS" \
    -v rate="$rate" -v trate="$TARGET_PROGRESS_RATE" -v tst="$TARGET_STALL_MS" \
    -v tsu="$TARGET_STARTUP_MS" -v trss="$TARGET_STARTUP_RSS_MB" -v tck="$TARGET_CHECK_MS" '
function verdict(ok) { if (!ok) failed = 1; return ok ? "ok" : "MISSED" }
BEGIN {
    printf "\n%-40s %10s %10s  %s\n", "", "measured", "target", ""
    printf "%-40s %10.1f %10d  %s\n", "start-up to shown window, median (ms)", su, tsu, verdict(su <= tsu)
    printf "%-40s %10.1f %10d  %s\n", "start-up peak RSS (MB)", rss, trss, verdict(rss <= trss)
    printf "%-40s %10.1f %10d  %s\n", "check 4000/4000 in the window (ms)", ck, tck, verdict(ck <= tck)
    printf "%-40s %10.1f %10d  %s\n", "sort 4000 rows, slowest column (ms)", so, tso, verdict(so <= tso)
    printf "%-40s %10.1f %10s\n", "check 4000/2000 in the window (ms)", hf, "-"
    printf "%-40s %10.1f %10d  %s\n", "longest event-loop stall (ms)", st, tst, verdict(st <= tst)
    printf "%-40s %10.1f %10d  %s\n", "progress updates per second, 50 MB", rate, trate, verdict(rate <= trate)
    exit failed
}'
