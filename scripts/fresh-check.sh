#!/usr/bin/env bash
# Runs the README's two commands, scripts/demo.sh and then scripts/test.sh, as
# root in a fresh minimal Debian 12 root, to catch a package the scripts fail
# to install because the machine at hand happens to have it already.
#
# The minimal root is made once with debootstrap and cached in
# /var/cache/nodescan (see scripts/lib/fresh-root.sh). Each run works in a
# copy of it, with a clone of the committed state (HEAD) of this repository
# in /root/nodescan. Downloaded packages are kept in
# /var/cache/nodescan/apt-archives, so a second run downloads little; they
# are still installed by the two commands themselves.
#
# Usage: scripts/fresh-check.sh [--keep] [--rebuild] [--windows]
#   --keep      keep the copy afterwards (its path is printed)
#   --rebuild   make the cached minimal root again first
#   --windows   run the Windows build's two commands instead:
#               scripts/windows.sh, then scripts/windows.sh --test
set -euo pipefail

usage() { sed -n '13,17s/^# \{0,1\}//p' "$0"; }

# shellcheck source=scripts/lib/fresh-root.sh
. "$(dirname "$0")/lib/fresh-root.sh"

# The run itself, in the copy. Arguments: those of fresh_root_enter, the
# repository and its commit.
in_namespace() {
    local copy=$1 repo=$5 commit=$6 start cmd rc failed=() commands
    fresh_root_enter "$1" "$2" "$3" "$4"
    commands=(scripts/demo.sh scripts/test.sh)
    [ "$7" = 1 ] && commands=(scripts/windows.sh "scripts/windows.sh --test")

    # Cloned from here, with this machine's git: the root has none yet.
    git clone -q "$repo" "$copy/root/nodescan"
    git -C "$copy/root/nodescan" checkout -q --detach "$commit"
    say "cloned $repo at ${commit:0:7} into /root/nodescan"

    for cmd in "${commands[@]}"; do
        say "running $cmd in the fresh root"
        start=$SECONDS
        rc=0
        fresh_root_chroot "$copy" "cd /root/nodescan && $cmd" || rc=$?
        echo "${cmd#scripts/}: $((SECONDS - start)) s"
        [ "$rc" -eq 0 ] || failed+=("$cmd (exit $rc)")
    done
    if [ ${#failed[@]} -gt 0 ]; then
        say "failed on a fresh Debian $suite: ${failed[*]}"
        return 1
    fi
    say "${commands[*]}: all succeed on a fresh Debian $suite"
}

if [ "${1:-}" = --in-namespace ]; then
    shift
    in_namespace "$@"
    exit
fi

keep=0
rebuild=0
windows=0
for arg in "$@"; do
    case "$arg" in
        --keep) keep=1 ;;
        --rebuild) rebuild=1 ;;
        --windows) windows=1 ;;
        -h|--help) usage; exit 0 ;;
        *) echo "fresh-check: unknown option '$arg'" >&2; usage >&2; exit 2 ;;
    esac
done

fresh_root_as_root "$@"
fresh_root_prepare "$rebuild"

# Run through sudo, git refuses a repository of another owner; these few
# calls only read it.
printf '[safe]\n\tdirectory = *\n' >"$cache/gitconfig"
export GIT_CONFIG_GLOBAL=$cache/gitconfig
need_host_package git git

repo=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$repo" rev-parse HEAD)
if [ -n "$(git -C "$repo" --no-optional-locks status --porcelain --untracked-files=no)" ]; then
    say "note: uncommitted changes in $repo are not part of the check"
fi

fresh_root_spawn "$keep" "$repo" "$commit" "$windows"
