#!/usr/bin/env bash
# Installs a Debian package as an operator would, "apt-get install -y
# ./FILE.deb", as root in a copy of the fresh minimal Debian 12 root that
# scripts/fresh-check.sh uses (see scripts/lib/fresh-root.sh); prints how
# many packages apt installed, their size and the time it took, then runs
# COMMAND in the root to see that the installed program starts.
#
# Usage: scripts/fresh-install.sh [--under N] FILE.deb COMMAND
#   --under N   fail unless apt installs fewer than N packages (FILE's own
#               package included)
set -euo pipefail

usage() { sed -n '8,10s/^# \{0,1\}//p' "$0"; }

# shellcheck source=scripts/lib/fresh-root.sh
. "$(dirname "$0")/lib/fresh-root.sh"

# The installed packages of the root at $1, one "name<TAB>size in KiB" a line,
# sorted by name.
installed() {
    dpkg-query --admindir="$1/var/lib/dpkg" -W -f='${db:Status-Abbrev}\t${Package}\t${Installed-Size}\n' |
        awk -F'\t' '$1 ~ /^ii/ { print $2 "\t" $3 }' | LC_ALL=C sort
}

# The run itself, in the copy. Arguments: those of fresh_root_enter, the
# package file, the command and the limit (empty: none).
in_namespace() {
    local copy=$1 deb=$5 command=$6 under=$7 name package start new count mb output
    fresh_root_enter "$1" "$2" "$3" "$4"
    name=$(basename "$deb")
    package=$(dpkg-deb -f "$deb" Package)
    install -m 644 "$deb" "$copy/tmp/$name"

    start=$SECONDS
    fresh_root_chroot "$copy" "apt-get update -qq" || die "apt-get update failed in the fresh root"
    say "apt-get update: $((SECONDS - start)) s"

    installed "$copy" >"$copy/tmp/before"
    start=$SECONDS
    if ! fresh_root_chroot "$copy" "cd /tmp && DEBIAN_FRONTEND=noninteractive apt-get install -y ./$name" \
        >"$copy/tmp/apt.log" 2>&1; then
        tail -n 30 "$copy/tmp/apt.log" >&2
        die "apt-get install -y ./$name failed in the fresh root"
    fi
    say "apt-get install: $((SECONDS - start)) s"
    installed "$copy" >"$copy/tmp/after"
    # New names only: a package apt upgraded is not one it brought in.
    new=$(LC_ALL=C join -v 2 -t $'\t' "$copy/tmp/before" "$copy/tmp/after")
    count=$(printf '%s\n' "$new" | grep -c .) || true
    mb=$(printf '%s\n' "$new" | awk -F'\t' '{ s += $2 } END { printf "%.1f", s / 1024 }')
    cut -f1 <<<"$new" | grep -qxF -- "$package" || die "apt did not install $package"
    echo "$package: apt installed $count packages ($package and $((count - 1)) more), $mb MB"
    if [ -n "$under" ] && [ "$count" -ge "$under" ]; then
        printf '%s\n' "$new" | cut -f1 | paste -sd ' ' >&2
        die "$package: $count packages, not fewer than $under"
    fi

    output=$(fresh_root_chroot "$copy" "$command" 2>&1) ||
        { printf '%s\n' "$output" >&2; die "$command: failed in the fresh root"; }
    echo "$command: $output"
}

if [ "${1:-}" = --in-namespace ]; then
    shift
    in_namespace "$@"
    exit
fi

under=""
while [ $# -gt 0 ]; do
    case "$1" in
        --under)
            [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "fresh-install: --under needs a number" >&2; exit 2; }
            under=$2
            shift 2
            ;;
        -h|--help) usage; exit 0 ;;
        -*) echo "fresh-install: unknown option '$1'" >&2; usage >&2; exit 2 ;;
        *) break ;;
    esac
done
[ $# -eq 2 ] || { usage >&2; exit 2; }
[ -f "$1" ] || { echo "fresh-install: no such package file: $1" >&2; exit 2; }
deb=$(realpath "$1")

fresh_root_as_root ${under:+--under "$under"} "$deb" "$2"
fresh_root_prepare 0
fresh_root_spawn 0 "$deb" "$2" "$under"
