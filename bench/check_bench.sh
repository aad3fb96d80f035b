#!/usr/bin/env bash
# Times the missing-waypoint check of nodescan-cli on generated game trees of
# 1000 and 4000 maps, each map with its Pod Bot waypoint file, and sets the
# check beside the least work it could do.
#
#   bench/check_bench.sh [--floor FLOOR] [BUILD_DIR] [RUNS]   (default build/default, 15 runs)
#   bench/check_bench.sh --make-tree DIR N       (only write a tree of N maps to DIR)
#
# For each size the command
#   NODESCAN_HOME=<fresh dir> nodescan-cli check --json --game-dir <tree>/cstrike/
# runs RUNS times after 2 warm-up runs under bench/measure, which reports the
# median wall-clock time and the peak RSS; at 4000 maps also
#   nodescan-cli mapcycle --game-dir <tree>/cstrike/
# (the check, then mapcycle.txt written). Fails (exit 1) when a target is
# missed: median at 4000 maps <= 150 ms, mapcycle at 4000 maps <= 200 ms,
# peak RSS <= 20 MB, t(4000) / t(1000) <= 5.
#
# The floor: FLOOR (a C source, built here with cc -O2, or a program; by
# default ../shared/bench/floor.c beside the repository) lists the map and
# the waypoint directory and opens, stats and reads the 84-byte header of
# each waypoint, which is all a check has to do. On 4000 maps of which about
# two thirds have a waypoint the floor, the check, the redundant check and
# mapcycle run in turn, RUNS rounds after 2 warm-up rounds (interleaved, so
# that a change of the machine's load falls on all of them alike); each
# median is given as a multiple of the floor's, target <= 2.0. One more run
# of each under strace -c -f gives the system calls made, by name.
# Exit 2: usage error, programs not built, or the check itself failed.
# Builds nothing of the project; generated data lives under /tmp and is
# removed at the end.
set -euo pipefail

TARGET_MS_4000=150
TARGET_RSS_MB=20
TARGET_RATIO=5
TARGET_MAPCYCLE_MS=200
TARGET_FLOOR_RATIO=2.0
WARMUPS=2
SIZES=(1000 4000)
NODES=12  # Pod Bot nodes per waypoint file: files of about 2.5 KB

# "\xHH" escapes of a 32-bit little-endian number, for printf %b.
le32() {
    local v=$(($1 & 0xFFFFFFFF))
    printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255)) \
        $((v >> 16 & 255)) $((v >> 24 & 255))
}
le16() {
    local v=$(($1 & 0xFFFF))
    printf '\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255))
}
zeros() {
    local i out=""
    for ((i = 0; i < $1; i++)); do out+='\x00'; done
    printf '%s' "$out"
}

# make_tree DIR N: DIR/cstrike with cstrike.wad, maps/map_0001.bsp .. and
# PODBot/PodBot.cfg pointing at PODBot/wptdefault, which holds map_0001.pwf ..
make_tree() {
    local dir=$1 n=$2
    local cs=$dir/cstrike
    mkdir -p "$cs/maps" "$cs/PODBot/wptdefault"

    # Empty WAD3: magic, no entries, directory at offset 12.
    printf '%b' "WAD3$(le32 0)$(le32 12)" >"$cs/cstrike.wad"
    printf '%b' '// PODBot configuration\r\n\r\nwptfolder wptdefault\r\npb minbots 4\r\npb maxbots 10\r\n' \
        >"$cs/PODBot/PodBot.cfg"

    # BSP version 30: version, 15 (offset, length) lumps, then the entity
    # lump; every other lump is empty and points past the entities.
    local sample='{\n"classname" "worldspawn"\n"message" "map_0000"\n"mapversion" "220"\n}\n'
    local ent_len=$(($(printf '%b' "$sample" | wc -c) + 1))  # with its NUL
    local ent_pad=$(((4 - ent_len % 4) % 4))
    local bsp_head bsp_tail lump
    bsp_head="$(le32 30)$(le32 124)$(le32 "$ent_len")"
    for ((lump = 1; lump < 15; lump++)); do
        bsp_head+="$(le32 $((124 + ent_len + ent_pad)))$(le32 0)"
    done
    bsp_head+='{\n"classname" "worldspawn"\n"message" "'
    bsp_tail='"\n"mapversion" "220"\n}\n\x00'"$(zeros "$ent_pad")"

    # Pod Bot format 7: "PODWAY!\0", version, node count, map name[32],
    # author[32], then 204-byte node records.
    local pwf_head pwf_tail node k i
    pwf_head="PODWAY!\\x00$(le32 7)$(le32 "$NODES")"
    pwf_tail="Bench Builder\\x00$(zeros 18)"
    for ((k = 0; k < NODES; k++)); do
        node="$(le32 "$k")$(le32 0)"                           # number, flags
        node+="$(le32 $((0x43000000 + k * 0x10000)))$(le32 0x43800000)$(le32 0xC2000000)"  # origin
        node+="$(le32 0)$(zeros 16)"                           # radius, camp angles
        node+="$(le16 $(((k + NODES - 1) % NODES)))$(le16 $(((k + 1) % NODES)))"
        for ((i = 2; i < 8; i++)); do node+="$(le16 -1)"; done  # path indexes
        node+="$(zeros 16)$(zeros 96)"                         # connection flags, velocities
        node+="$(le32 128)$(le32 128)$(zeros 24)"              # distances
        node+="$(le32 $((0x0A3F1000 + 204 * k)))"              # saved list pointer
        pwf_tail+="$node"
    done

    local name pad wpt
    for ((i = 1; i <= n; i++)); do
        printf -v name 'map_%04d' "$i"
        printf '%b' "$bsp_head$name$bsp_tail" >"$cs/maps/$name.bsp"
        pad=$(zeros $((32 - ${#name})))
        wpt=$name.pwf
        [[ ${3:-} == upper ]] && wpt=${name^^}.PWF
        printf '%b' "$pwf_head$name$pad$pwf_tail" >"$cs/PODBot/wptdefault/$wpt"
    done
}

if [[ ${1:-} == --make-tree ]]; then
    if [[ $# -ne 3 || ! $3 =~ ^[0-9]+$ ]]; then
        echo "usage: $0 --make-tree DIR N" >&2
        exit 2
    fi
    make_tree "$2" "$3"
    exit 0
fi

source "$(dirname -- "${BASH_SOURCE[0]}")/common.sh"
floor=$repo/../shared/bench/floor.c
if [[ ${1:-} == --floor ]]; then
    [[ $# -ge 2 ]] || { echo "usage: $0 [--floor FLOOR] [BUILD_DIR] [RUNS]" >&2; exit 2; }
    floor=$2
    shift 2
fi
[[ -f $floor ]] || { echo "$0: no floor program at $floor (--floor FLOOR)" >&2; exit 2; }
command -v strace >/dev/null || { echo "$0: strace is needed" >&2; exit 2; }
bench_args "$@"
require_built nodescan-cli bench/measure
cli=$(realpath "$build/nodescan-cli")
measure=$(realpath "$build/bench/measure")

work=$(mktemp -d /tmp/nodescan-check-bench.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
if [[ $floor == *.c ]]; then
    cc -O2 -o "$work/floor" "$floor" || { echo "$0: cannot build $floor" >&2; exit 2; }
    floor=$work/floor
fi
floor=$(realpath "$floor")

declare -A median rss
mapcycle=0
# The sizes, then 4000 maps whose waypoints are named in upper case
# (MAP_0001.PWF for map_0001.bsp): every name test then ignores case.
for size in "${SIZES[@]}" 4000u; do
    n=${size%u}
    tree=$work/tree$size
    echo "generating $n maps and waypoints under $tree ..."
    if [[ $size == *u ]]; then make_tree "$tree" "$n" upper; else make_tree "$tree" "$n"; fi

    # Keep the program on this tree and off the network whatever it does
    # with its settings.
    export NODESCAN_SEARCH_ROOTS=$tree NODESCAN_ONLINE=0

    # One checked run first: the command must succeed and list the maps.
    printf -v last 'map_%04d' "$n"
    if ! NODESCAN_HOME=$(mktemp -d "$work/home.XXXXXX") \
        "$cli" check --json --game-dir "$tree/cstrike/" >"$work/out$size.json" 2>"$work/err$size.txt"; then
        echo "$0: nodescan-cli check failed on $n maps:" >&2
        cat "$work/err$size.txt" >&2
        exit 2
    fi
    if ! grep -qi "$last" "$work/out$size.json"; then
        echo "warning: the output for $n maps does not mention $last" >&2
    fi

    result=$(NODESCAN_HOME=$(mktemp -d "$work/home.XXXXXX") "$measure" -n "$runs" -w "$WARMUPS" -- \
        "$cli" check --json --game-dir "$tree/cstrike/") || {
        echo "$0: measuring failed on $n maps: $result" >&2
        exit 2
    }
    echo "  $size maps: $result"
    median[$size]=$(sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p' <<<"$result")
    rss[$size]=$(sed -n 's/.*peak_rss_mb=\([0-9.]*\).*/\1/p' <<<"$result")
    if [[ $size == 4000 ]]; then
        # The same check followed by the writing of mapcycle.txt.
        result=$(NODESCAN_HOME=$(mktemp -d "$work/home.XXXXXX") "$measure" -n "$runs" -w "$WARMUPS" \
            -q -- "$cli" mapcycle --game-dir "$tree/cstrike/") || {
            echo "$0: nodescan-cli mapcycle failed on $n maps: $result" >&2
            exit 2
        }
        if ! grep -qx "$last" <(tr -d '\r' <"$tree/cstrike/mapcycle.txt"); then
            echo "$0: mapcycle.txt does not list $last" >&2
            exit 2
        fi
        echo "  mapcycle, $size maps: $result"
        mapcycle=$(sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p' <<<"$result")
    fi
    rm -rf -- "$tree"
done

# The floor and the three commands on one tree, interleaved.
tree=$work/treefloor
echo "generating 4000 maps, waypoints for two thirds of them, under $tree ..."
make_tree "$tree" 4000
for ((i = 3; i <= 4000; i += 3)); do
    printf -v name 'map_%04d.pwf' "$i"
    rm -- "$tree/cstrike/PODBot/wptdefault/$name"
done
cs=$tree/cstrike
wpts=$(find "$cs/PODBot/wptdefault" -name '*.pwf' | wc -l)
export NODESCAN_SEARCH_ROOTS=$tree NODESCAN_ONLINE=0
names=(floor check redundant mapcycle)
declare -A cmd
for name in check redundant mapcycle; do mkdir "$work/home-$name"; done
cmd[floor]="$floor $cs/maps $cs/PODBot/wptdefault"
cmd[check]="$cli check --json --game-dir $cs/"
cmd[redundant]="$cli check --redundant --json --game-dir $cs/"
cmd[mapcycle]="$cli mapcycle --game-dir $cs/"
# run NAME: one timed run of the command NAME; prints its milliseconds.
run() {
    local result
    result=$(NODESCAN_HOME=$work/home-$1 "$measure" -n 1 -w 0 -q -- ${cmd[$1]}) || {
        echo "$0: $1 failed: $result" >&2
        exit 2
    }
    sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p' <<<"$result"
}
echo "floor, check, redundant check and mapcycle on 4000 maps and $wpts waypoints," \
    "$runs rounds in turn:"
declare -A times
for ((round = -WARMUPS; round < runs; round++)); do
    for name in "${names[@]}"; do
        ms=$(run "$name")
        ((round >= 0)) && times[$name]+="$ms "
    done
done
for name in "${names[@]}"; do
    median[$name]=$(tr ' ' '\n' <<<"${times[$name]}" | sed '/^$/d' | sort -g |
        awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
    echo "  $name: median ${median[$name]} ms"
done

# System calls by name, one run of each under strace.
declare -A calls
for name in "${names[@]}"; do
    NODESCAN_HOME=$work/home-$name strace -c -f -o "$work/strace-$name.txt" \
        ${cmd[$name]} >/dev/null 2>&1 || { echo "$0: $name failed under strace" >&2; exit 2; }
    while read -r sc n; do calls[$name.$sc]=$n; done < <(
        awk '$1 ~ /^[0-9.]+$/ && $NF != "total" { print $NF, $4 }' "$work/strace-$name.txt")
done
syscalls=$(for key in "${!calls[@]}"; do echo "${key#*.}"; done | sort -u)
echo
printf '%-18s %10s %10s %10s %10s\n' "system calls" "${names[@]}"
for sc in $syscalls; do
    printf '%-18s' "$sc"
    for name in "${names[@]}"; do printf ' %10s' "${calls[$name.$sc]:-0}"; done
    printf '\n'
done
rm -rf -- "$tree"

awk -v t1="${median[1000]}" -v t4="${median[4000]}" -v tu="${median[4000u]}" \
    -v r1="${rss[1000]}" -v r4="${rss[4000]}" -v ru="${rss[4000u]}" \
    -v tms="$TARGET_MS_4000" -v trss="$TARGET_RSS_MB" -v tratio="$TARGET_RATIO" \
    -v mc="$mapcycle" -v tmc="$TARGET_MAPCYCLE_MS" -v fl="${median[floor]}" \
    -v fc="${median[check]}" -v fr="${median[redundant]}" -v fm="${median[mapcycle]}" \
    -v tfl="$TARGET_FLOOR_RATIO" '
function verdict(ok) { if (!ok) failed = 1; return ok ? "ok" : "MISSED" }
BEGIN {
    peak = r1 > r4 ? r1 : r4
    if (ru > peak) peak = ru
    ratio = t1 > 0 ? t4 / t1 : 0
    printf "\n%-28s %10s %10s  %s\n", "", "measured", "target", ""
    printf "%-28s %10.1f %10s\n", "median, 1000 maps (ms)", t1, "-"
    printf "%-28s %10.1f %10d  %s\n", "median, 4000 maps (ms)", t4, tms, verdict(t4 <= tms)
    printf "%-28s %10.1f %10d  %s\n", "median, 4000, upper case (ms)", tu, tms, verdict(tu <= tms)
    printf "%-28s %10.1f %10d  %s\n", "mapcycle, 4000 maps (ms)", mc, tmc, verdict(mc <= tmc)
    printf "%-28s %10.2f %10d  %s\n", "peak RSS (MB)", peak, trss, verdict(peak <= trss)
    printf "%-28s %10.2f %10d  %s\n", "t(4000) / t(1000)", ratio, tratio, verdict(ratio <= tratio)
    printf "%-28s %10.1f %10s\n", "floor, 4000 maps (ms)", fl, "-"
    printf "%-28s %10.2f %10.1f  %s\n", "check / floor", fc / fl, tfl, verdict(fc / fl <= tfl)
    printf "%-28s %10.2f %10.1f  %s\n", "redundant check / floor", fr / fl, tfl, verdict(fr / fl <= tfl)
    printf "%-28s %10.2f %10.1f  %s\n", "mapcycle / floor", fm / fl, tfl, verdict(fm / fl <= tfl)
    exit failed
}'
