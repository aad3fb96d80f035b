#!/usr/bin/env bash
# Times the game search against find(1) over the same two roots: a large tree
# without the game (about 200,000 entries) and a small one holding it.
#
#   bench/search_bench.sh PATH/TO/search_bench [RUNS]
#
# Both are run RUNS times (default 9) on a warm cache, alternately; the medians
# of their wall-clock times are printed. Fails when ours is slower than find.
set -euo pipefail

if [[ $# -lt 1 || ! -x $1 ]]; then
    echo "usage: $0 PATH/TO/search_bench [RUNS]" >&2
    exit 2
fi
bench=$(realpath "$1")
runs=${2:-9}

work=$(mktemp -d /tmp/nodescan-search-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
root1=$work/root1
root2=$work/root2

echo "generating trees under $work ..."
python3 - "$root1" "$root2" <<'PY'
import os, random, sys

root1, root2 = sys.argv[1], sys.argv[2]
rng = random.Random(20240607)
letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-"
exts = [".bsp", ".wad", ".txt", ".cfg", ".mdl", ".spr", ".wav", ".pwf", ".dat", ""]

def name():
    return "".join(rng.choice(letters) for _ in range(rng.randint(3, 18))) + rng.choice(exts)

def touch(path):
    os.close(os.open(path, os.O_WRONLY | os.O_CREAT, 0o644))

def fill(dir, nfiles):
    for _ in range(nfiles):
        n = name()
        if n.lower() == "cstrike.wad":
            continue
        touch(os.path.join(dir, n))

# Four levels of directories (12 * 12 * 12 * 11 below the root: about 21,000)
# and 4 to 13 files in each (about 180,000), no cstrike.wad anywhere.
entries = 0
level = [root1]
os.makedirs(root1)
for fanout in (12, 12, 12, 11):
    nxt = []
    for d in level:
        k = rng.randint(4, 13)
        fill(d, k)
        entries += k
        for i in range(fanout):
            sub = os.path.join(d, "dir%02d_%s" % (i, name().replace(".", "_")))
            os.mkdir(sub)
            nxt.append(sub)
            entries += 1
    level = nxt
for d in level:
    k = rng.randint(4, 13)
    fill(d, k)
    entries += k
# Near misses the search must pass over.
for rel in ("cstrike.wa", "cstrike.wad.bak", "old_cstrike.wad"):
    touch(os.path.join(level[len(level) // 2], rel))

# The second root: a library folder with the game a few levels down.
game = os.path.join(root2, "steamapps", "common", "Half-Life")
for sub in ("valve/maps", "cstrike/maps", "cstrike/sound", "dmc/maps", "ricochet/maps"):
    os.makedirs(os.path.join(game, sub))
    fill(os.path.join(game, sub), 60)
touch(os.path.join(game, "cstrike", "cstrike.wad"))
print("root1: %d entries; root2: the game at %s" % (entries, os.path.join(game, "cstrike")))
PY

now_ms() { local t=${EPOCHREALTIME/./}; echo $((t / 1000)); }  # microseconds -> ms

ours() { "$bench" cstrike.wad "$root1" "$root2"; }
theirs() { find "$root1" "$root2" -name cstrike.wad -print -quit; }

# Same answer, and a warm cache for both.
ours_found=$(ours | head -n 1)
find_found=$(theirs)
echo "search found: $ours_found"
echo "find found:   $find_found"
if [[ $ours_found != "$find_found" ]]; then
    echo "FAIL: the search and find disagree" >&2
    exit 1
fi

ours_wall=() ours_inner=() find_wall=()
for ((i = 0; i < runs; i++)); do
    t0=$(now_ms)
    out=$(ours)
    t1=$(now_ms)
    theirs >/dev/null
    t2=$(now_ms)
    ours_wall+=($((t1 - t0)))
    ours_inner+=("$(sed -n 's/ ms$//p' <<<"$out")")
    find_wall+=($((t2 - t1)))
done

median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }
m_ours=$(median "${ours_wall[@]}")
m_inner=$(median "${ours_inner[@]}")
m_find=$(median "${find_wall[@]}")
echo "runs: $runs"
echo "search_bench: median ${m_ours} ms wall (${m_inner} ms inside the search)  [${ours_wall[*]}]"
echo "find -quit:   median ${m_find} ms wall  [${find_wall[*]}]"
if ((m_ours > m_find)); then
    echo "FAIL: the search is slower than find" >&2
    exit 1
fi
echo "OK"
