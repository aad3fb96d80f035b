#!/usr/bin/env bash
# Times a waypoint fetch (HEAD and size, GET and header stripping) from a
# local web server (python3 -m http.server on 127.0.0.1) beside curl making
# the same two requests, for a 300,000-byte file and a 50 MB file:
#   - download_bench: the fetch inside the program, median of RUNS;
#   - curl -I, then curl -o: the sum of curl's own time_total of the two
#     requests (its transfer time, without starting the process), median of RUNS.
# Also the peak RSS of one download_bench run for each file (bench/measure).
# Fails (exit 1) when a target is missed: each median at most 1.5 times
# curl's; the peak RSS for 50 MB at most 4 MB above that for 300,000 bytes.
#
#   bench/download_bench.sh [BUILD_DIR] [RUNS]     (default build/default, 15 runs)
set -euo pipefail

TARGET_RATIO=1.5
TARGET_RSS_GROWTH_MB=4

source "$(dirname -- "${BASH_SOURCE[0]}")/common.sh"
bench_args "$@"
require_built bench/download_bench bench/measure
bench=$(realpath "$build/bench/download_bench")
measure=$(realpath "$build/bench/measure")
command -v curl >/dev/null || { echo "$0: curl is needed (apt install curl)" >&2; exit 2; }

work=$(mktemp -d /tmp/nodescan-download-bench.XXXXXX)
server=
trap '[[ -n $server ]] && kill "$server"; rm -rf -- "$work"' EXIT
mkdir -p "$work/root/wpts"
head -c 300000 /dev/urandom >"$work/root/wpts/small.pwf"
head -c 52428800 /dev/urandom >"$work/root/wpts/large.pwf"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/root" >/dev/null 2>&1 &
server=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.05; done

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A ours theirs rss
for f in small large; do
    url="http://127.0.0.1:$port/wpts/$f.pwf"
    for ((i = 0; i < runs; i++)); do
        head_s=$(curl -s -I -o /dev/null -w '%{time_total}' "$url")
        get_s=$(curl -s -o "$work/curl.out" -w '%{time_total}' "$url")
        awk -v a="$head_s" -v b="$get_s" 'BEGIN { printf "%.3f\n", (a + b) * 1000 }'
    done | median >"$work/curl.txt"
    theirs[$f]=$(cat "$work/curl.txt")
    out=$("$bench" "127.0.0.1:$port" /wpts "$f.pwf" "$runs")
    echo "  $f: download_bench $out; curl median_ms=${theirs[$f]}"
    ours[$f]=$(sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p' <<<"$out")
    m=$("$measure" -n 1 -w 0 -q -- "$bench" "127.0.0.1:$port" /wpts "$f.pwf" 1)
    rss[$f]=$(sed -n 's/.*peak_rss_mb=\([0-9.]*\).*/\1/p' <<<"$m")
done

awk -v os="${ours[small]}" -v ts="${theirs[small]}" -v ol="${ours[large]}" -v tl="${theirs[large]}" \
    -v rs="${rss[small]}" -v rl="${rss[large]}" -v tr="$TARGET_RATIO" -v tg="$TARGET_RSS_GROWTH_MB" '
function verdict(ok) { if (!ok) failed = 1; return ok ? "ok" : "MISSED" }
BEGIN {
    printf "\n%-36s %10s %10s  %s\n", "", "measured", "target", ""
    printf "%-36s %10.2f %10s\n", "300,000 bytes: program (ms)", os, "-"
    printf "%-36s %10.2f %10s\n", "300,000 bytes: curl (ms)", ts, "-"
    printf "%-36s %10.2f %10.1f  %s\n", "300,000 bytes: ratio", os / ts, tr, verdict(os <= tr * ts)
    printf "%-36s %10.2f %10s\n", "50 MB: program (ms)", ol, "-"
    printf "%-36s %10.2f %10s\n", "50 MB: curl (ms)", tl, "-"
    printf "%-36s %10.2f %10.1f  %s\n", "50 MB: ratio", ol / tl, tr, verdict(ol <= tr * tl)
    printf "%-36s %10.2f %10s\n", "peak RSS, 300,000 bytes (MB)", rs, "-"
    printf "%-36s %10.2f %10d  %s\n", "peak RSS growth to 50 MB (MB)", rl - rs, tg, verdict(rl - rs <= tg)
    exit failed
}'
