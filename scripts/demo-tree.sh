#!/usr/bin/env bash
# Copy the demo Half-Life installation (demo/Half-Life) to DEST and give its
# waypoint files the last-write times listed in demo/mtimes.txt, which git
# cannot keep. DEST becomes the Half-Life directory: DEST/cstrike/cstrike.wad.
# An earlier copy at DEST is replaced; any other non-empty directory is left
# alone.
#
# Usage: scripts/demo-tree.sh DEST
set -euo pipefail

usage() {
    echo "usage: $0 DEST" >&2
    exit 2
}

[ $# -eq 1 ] || usage
[ -n "$1" ] || usage

script_dir=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)
demo_dir=$(cd -- "$script_dir/../demo" && pwd)
src="$demo_dir/Half-Life"
mtimes="$demo_dir/mtimes.txt"

[ -f "$src/cstrike/cstrike.wad" ] || { echo "$0: demo tree missing at $src" >&2; exit 1; }
[ -f "$mtimes" ] || { echo "$0: $mtimes missing" >&2; exit 1; }

dest=$1
while [ "${#dest}" -gt 1 ] && [ "${dest%/}" != "$dest" ]; do dest=${dest%/}; done
if [ "$dest" = "/" ] || [ "$dest" = "." ] || [ "$dest" = ".." ]; then
    echo "$0: refusing to replace '$dest'" >&2
    exit 1
fi

if [ -e "$dest" ] || [ -L "$dest" ]; then
    if [ ! -d "$dest" ] || [ -L "$dest" ]; then
        echo "$0: $dest exists and is not a directory" >&2
        exit 1
    fi
    # Only an earlier demo copy (or an empty directory) is replaced.
    if [ -n "$(ls -A -- "$dest")" ] && [ ! -f "$dest/cstrike/cstrike.wad" ]; then
        echo "$0: $dest is not an earlier copy of the demo tree; not replacing it" >&2
        exit 1
    fi
fi

parent=$(dirname -- "$dest")
mkdir -p -- "$parent"

# Build the copy beside DEST and move it into place once it is complete.
work=$(mktemp -d "$parent/.demo-tree.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
cp -R -- "$src" "$work/Half-Life"

# mtimes.txt: "YYYY-MM-DD HH:MM path", the path relative to demo/.
line_no=0
while IFS= read -r line || [ -n "$line" ]; do
    line_no=$((line_no + 1))
    line=${line%$'\r'}
    case "$line" in
        '' | '#'*) continue ;;
    esac
    read -r day clock path <<<"$line"
    case "$path" in
        Half-Life/*) ;;
        *)
            echo "$0: $mtimes:$line_no: path must start with Half-Life/: $line" >&2
            exit 1
            ;;
    esac
    target="$work/$path"
    if [ ! -e "$target" ]; then
        echo "$0: $mtimes:$line_no: no such file in the demo tree: $path" >&2
        exit 1
    fi
    touch -m -d "$day $clock" -- "$target"
done <"$mtimes"

rm -rf -- "$dest"
mv -- "$work/Half-Life" "$dest"
echo "$dest"
