#!/usr/bin/env bash
# Times a waypoint fetch (HEAD and size, GET and header stripping) from a
# local web server on 127.0.0.1 beside curl making the same two requests, for
# a 300,000-byte file and a 50 MB file, over plain HTTP (python3 -m
# http.server) and over TLS (the same server behind Python's ssl, with a
# certificate for 127.0.0.1 from a CA made here by openssl, which the program
# gets as NODESCAN_CA_FILE and curl as --cacert):
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
servers=()
trap '[[ ${#servers[@]} -gt 0 ]] && kill "${servers[@]}"; rm -rf -- "$work"' EXIT
mkdir -p "$work/root/wpts"
head -c 300000 /dev/urandom >"$work/root/wpts/small.pwf"
head -c 52428800 /dev/urandom >"$work/root/wpts/large.pwf"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
port=$(free_port)
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/root" >/dev/null 2>&1 &
servers=($!)
(
    cd "$work"
    k=(-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes)
    openssl req -x509 "${k[@]}" -keyout ca.key -out ca.pem -subj /CN=BenchCA -days 1
    openssl req "${k[@]}" -keyout tls.key -out tls.csr -subj /CN=127.0.0.1
    printf 'subjectAltName=IP:127.0.0.1\n' >tls.ext
    openssl x509 -req -in tls.csr -CA ca.pem -CAkey ca.key -extfile tls.ext -days 1 -out tls.crt
) >/dev/null 2>&1 || { echo "$0: openssl could not make the certificates" >&2; exit 2; }
tls_port=$(free_port)
python3 -c '
import functools, http.server as h, ssl, sys
port, root, crt, key = sys.argv[1:]
s = h.ThreadingHTTPServer(("127.0.0.1", int(port)), functools.partial(h.SimpleHTTPRequestHandler, directory=root))
c = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
c.load_cert_chain(crt, key)
s.socket = c.wrap_socket(s.socket, server_side=True)
s.serve_forever()' "$tls_port" "$work/root" "$work/tls.crt" "$work/tls.key" >/dev/null 2>&1 &
servers+=($!)
export NODESCAN_CA_FILE=$work/ca.pem
for url in "http://127.0.0.1:$port/" "https://127.0.0.1:$tls_port/"; do
    for _ in $(seq 100); do curl -s --cacert "$work/ca.pem" -o /dev/null "$url" && break; sleep 0.05; done
done

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A ours theirs rss
for scheme in http https; do
    host=127.0.0.1:$port
    [[ $scheme == https ]] && host=https://127.0.0.1:$tls_port
    for f in small large; do
        url="${host#https://}"
        url="$scheme://$url/wpts/$f.pwf"
        for ((i = 0; i < runs; i++)); do
            head_s=$(curl -s --cacert "$work/ca.pem" -I -o /dev/null -w '%{time_total}' "$url")
            get_s=$(curl -s --cacert "$work/ca.pem" -o "$work/curl.out" -w '%{time_total}' "$url")
            awk -v a="$head_s" -v b="$get_s" 'BEGIN { printf "%.3f\n", (a + b) * 1000 }'
        done | median >"$work/curl.txt"
        theirs[$scheme.$f]=$(cat "$work/curl.txt")
        out=$("$bench" "$host" /wpts "$f.pwf" "$runs")
        echo "  $scheme $f: download_bench $out; curl median_ms=${theirs[$scheme.$f]}"
        ours[$scheme.$f]=$(sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p' <<<"$out")
        m=$("$measure" -n 1 -w 0 -q -- "$bench" "$host" /wpts "$f.pwf" 1)
        rss[$scheme.$f]=$(sed -n 's/.*peak_rss_mb=\([0-9.]*\).*/\1/p' <<<"$m")
    done
done

failed=0
for scheme in http https; do
    awk -v os="${ours[$scheme.small]}" -v ts="${theirs[$scheme.small]}" \
        -v ol="${ours[$scheme.large]}" -v tl="${theirs[$scheme.large]}" \
        -v rs="${rss[$scheme.small]}" -v rl="${rss[$scheme.large]}" -v s="$scheme" \
        -v tr="$TARGET_RATIO" -v tg="$TARGET_RSS_GROWTH_MB" '
function verdict(ok) { if (!ok) failed = 1; return ok ? "ok" : "MISSED" }
BEGIN {
    printf "\n%-42s %10s %10s  %s\n", s, "measured", "target", ""
    printf "%-42s %10.2f %10s\n", "300,000 bytes: program (ms)", os, "-"
    printf "%-42s %10.2f %10s\n", "300,000 bytes: curl (ms)", ts, "-"
    printf "%-42s %10.2f %10.1f  %s\n", "300,000 bytes: ratio", os / ts, tr, verdict(os <= tr * ts)
    printf "%-42s %10.2f %10s\n", "50 MB: program (ms)", ol, "-"
    printf "%-42s %10.2f %10s\n", "50 MB: curl (ms)", tl, "-"
    printf "%-42s %10.2f %10.1f  %s\n", "50 MB: ratio", ol / tl, tr, verdict(ol <= tr * tl)
    printf "%-42s %10.2f %10s\n", "peak RSS, 300,000 bytes (MB)", rs, "-"
    printf "%-42s %10.2f %10d  %s\n", "peak RSS growth to 50 MB (MB)", rl - rs, tg, verdict(rl - rs <= tg)
    exit failed
}' || failed=1
done
exit $failed
