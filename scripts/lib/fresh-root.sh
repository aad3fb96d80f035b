# shellcheck shell=bash
# A fresh minimal Debian 12 root to run things in as root (sourced by
# scripts/fresh-check.sh and scripts/fresh-install.sh, not run).
#
# The minimal root is made once with debootstrap (--variant=minbase) from the
# Debian mirror this machine's apt sources name, and kept in
# /var/cache/nodescan/bookworm-minbase. Each run works in a copy of it, never
# in the cache, as the first process of a mount and PID namespace of its own:
# every mount it makes goes, and every process it starts is killed, when it
# ends, however it ends. Downloaded packages are kept in
# /var/cache/nodescan/apt-archives. The copy is in memory when 8 GB are free
# and it is not to be kept, else in /var/tmp.
#
#   fresh_root_as_root "$@"         runs the script again through sudo unless
#                                   it runs as root
#   fresh_root_prepare REBUILD      finds the mirror; makes the cached root when
#                                   it is missing, or again when REBUILD is 1
#   fresh_root_spawn KEEP ARG...    runs "$0 --in-namespace COPY IN_MEMORY
#                                   MIRROR SECURITY ARG..." in a new copy,
#                                   removes the copy unless KEEP is 1, and ends
#                                   the script with the run's status
#   fresh_root_enter COPY IN_MEMORY MIRROR SECURITY
#                                   (in the namespace) fills the copy from the
#                                   cache, points its apt at the mirror, mounts
#                                   /proc, /sys, /dev and the package cache
#   fresh_root_chroot COPY COMMAND  runs a shell command as root in the copy,
#                                   with a clean environment

cache=/var/cache/nodescan
base=$cache/bookworm-minbase
archives=$cache/apt-archives
suite=bookworm
umask 022

say() { echo "$(basename "$0" .sh): $*" >&2; }
die() { say "$*"; exit 1; }

# debootstrap, mount and chroot need root.
fresh_root_as_root() {
    if [ "$(id -u)" -ne 0 ]; then
        exec sudo -- "$0" "$@"
    fi
}

apt_entries() {
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        awk '
            { sub(/#.*/, "") }
            $1 == "deb" {
                i = 2
                if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
                line = $i
                for (j = i + 1; j <= NF; j++) line = line " " $j
                if (NF >= i + 1) print line
            }' "$f"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk '
            function flush(   nu, ns, u, s, i, j) {
                if (f["types"] ~ /(^|[ \t])deb([ \t]|$)/ && tolower(f["enabled"]) !~ /no/) {
                    nu = split(f["uris"], u, /[ \t]+/)
                    ns = split(f["suites"], s, /[ \t]+/)
                    for (i = 1; i <= nu; i++)
                        for (j = 1; j <= ns; j++)
                            if (u[i] != "" && s[j] != "") print u[i], s[j], f["components"]
                }
                delete f
                key = ""
            }
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { flush(); next }
            /^[ \t]/ { if (key != "") f[key] = f[key] " " $0; next }
            {
                n = index($0, ":")
                if (n == 0) next
                key = tolower(substr($0, 1, n - 1))
                f[key] = substr($0, n + 1)
            }
            END { flush() }' "$f"
    done | sed 's/[ \t][ \t]*/ /g; s/^ //; s/ $//'
}

# Whether apt's downloaded release file for URI's suite says it is Debian's.
# Unknown (never downloaded) counts as no.
release_is_debian() {
    local uri=$1 name
    name=${uri#*://}
    name=${name%/}
    name=${name//\//_}
    grep -qsx 'Origin: Debian' \
        "/var/lib/apt/lists/${name}_dists_$2_InRelease" \
        "/var/lib/apt/lists/${name}_dists_$2_Release"
}

# The mirror serving "$suite" main from Debian: the first such entry apt's
# own lists confirm as Debian's, else the first whose path ends in /debian.
find_mirror() {
    local uri s comps fallback=""
    while read -r uri s comps; do
        [ "$s" = "$suite" ] || continue
        [[ " $comps " == *" main "* ]] || continue
        [[ "$uri" == http://* || "$uri" == https://* ]] || continue
        if release_is_debian "$uri" "$s"; then
            echo "${uri%/}"
            return
        fi
        [ -z "$fallback" ] && [[ "${uri%/}" == */debian ]] && fallback=${uri%/}
    done < <(apt_entries)
    [ -n "$fallback" ] || return 1
    echo "$fallback"
}

# The source of the security updates: the host's own when it names one,
# else the security archive beside the mirror.
find_security() {
    local uri s comps
    while read -r uri s comps; do
        if [ "$s" = "$suite-security" ] && [[ " $comps " == *" main "* ]] &&
            [[ "$uri" == http://* || "$uri" == https://* ]]; then
            echo "${uri%/}"
            return
        fi
    done < <(apt_entries)
    echo "${1%/debian}/debian-security"
}

need_host_package() {
    command -v "$1" >/dev/null && return
    say "installing $2 on this machine"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$2" >/dev/null
}

# Fails when anything is mounted at or below directory $1 (as seen from here).
nothing_mounted_under() {
    local dir
    dir=$(realpath -m "$1")
    ! awk -v d="$dir" '$2 == d || index($2, d "/") == 1 { found = 1 } END { exit !found }' /proc/mounts
}

# Removes a directory tree that was used as a root, but never through a
# mount: the mounts of a run live in a mount namespace of their own, so none
# should be visible here; if one is, it is left alone and so is the tree.
remove_tree() {
    [ -e "$1" ] || return 0
    if ! nothing_mounted_under "$1"; then
        say "not removing $1: something is still mounted under it:"
        grep -F " $(realpath -m "$1")" /proc/mounts >&2 || true
        return 1
    fi
    rm -rf --one-file-system -- "$1"
}

# Whether any process still has its root in directory $1.
# shellcheck disable=SC2317 # called from the EXIT trap
processes_inside() {
    local dir p
    dir=$(realpath -m "$1")
    for p in /proc/[0-9]*; do
        case "$(readlink "$p/root" 2>/dev/null)" in
            "$dir" | "$dir"/*) return 0 ;;
        esac
    done
    return 1
}

fresh_mirror=""
fresh_security=""

fresh_root_prepare() {
    local rebuild=$1 lock start
    mkdir -p "$cache" "$archives/partial" "$cache/debootstrap-debs"
    fresh_mirror=$(find_mirror) ||
        die "no apt source of this machine serves Debian '$suite' main (looked in /etc/apt/sources.list and /etc/apt/sources.list.d/)"
    fresh_security=$(find_security "$fresh_mirror")
    say "mirror $fresh_mirror, security updates from $fresh_security"

    need_host_package debootstrap debootstrap

    # The cached minimal root, made under an exclusive lock so that two runs
    # do not make it at once.
    exec {lock}>"$cache/lock"
    if [ "$rebuild" -eq 1 ] || [ ! -d "$base" ]; then
        flock "$lock"
        if [ "$rebuild" -eq 1 ] || [ ! -d "$base" ]; then
            say "making the minimal $suite root in $base"
            remove_tree "$base.new"
            start=$SECONDS
            # In a mount namespace of its own: whatever debootstrap leaves
            # mounted after a failure goes away with it.
            if ! unshare --mount --propagation private -- \
                debootstrap --variant=minbase --cache-dir="$cache/debootstrap-debs" \
                "$suite" "$base.new" "$fresh_mirror" >"$cache/debootstrap.log" 2>&1; then
                tail -n 20 "$cache/debootstrap.log" >&2
                die "debootstrap failed; its log is $cache/debootstrap.log"
            fi
            echo "debootstrap: $((SECONDS - start)) s"
            if [ -d "$base" ]; then
                mv -- "$base" "$base.old"
                remove_tree "$base.old"
            fi
            mv -- "$base.new" "$base"
        fi
    fi
    exec {lock}>&-
}

# Only ever called as the first process of a new mount namespace
# (fresh_root_spawn): its mounts must not reach this machine's.
fresh_root_enter() {
    local copy=$1 in_memory=$2 mirror=$3 security=$4 lock start n

    if [ "$(readlink /proc/self/ns/mnt)" = "$(readlink /proc/1/ns/mnt)" ]; then
        die "fresh_root_enter runs in this machine's mount namespace"
    fi
    if [ "$in_memory" -eq 1 ]; then
        mount -t tmpfs -o mode=755 tmpfs "$copy"
    fi
    chmod 755 "$copy"
    # A shared lock: a --rebuild elsewhere waits until the copy is made.
    exec {lock}<"$cache/lock"
    flock -s "$lock"
    start=$SECONDS
    cp -a --reflink=auto "$base/." "$copy/"
    exec {lock}<&-
    say "copied the root to $copy$([ "$in_memory" -eq 1 ] && echo " (in memory)") in $((SECONDS - start)) s"

    # The same Debian archive as this machine, so apt inside finds the same
    # package versions.
    rm -f "$copy"/etc/apt/sources.list.d/*
    printf 'deb %s %s main\n' "$mirror" "$suite" "$mirror" "$suite-updates" \
        "$security" "$suite-security" >"$copy/etc/apt/sources.list"
    if [ -e /etc/resolv.conf ]; then
        cp -L /etc/resolv.conf "$copy/etc/resolv.conf"
    fi
    # As on a fresh machine: /root private, no policy that keeps services
    # from starting.
    chmod 1777 "$copy/tmp"

    mount -t proc proc "$copy/proc"
    mount -t sysfs -o ro sysfs "$copy/sys" 2>/dev/null || mount --rbind -o ro /sys "$copy/sys"
    mount -t tmpfs -o mode=755,nosuid tmpfs "$copy/dev"
    for n in null zero full random urandom tty; do
        touch "$copy/dev/$n"
        mount --bind "/dev/$n" "$copy/dev/$n"
    done
    mkdir "$copy/dev/pts" "$copy/dev/shm"
    mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$copy/dev/pts"
    ln -s pts/ptmx "$copy/dev/ptmx"
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$copy/dev/shm"
    ln -s /proc/self/fd "$copy/dev/fd"
    ln -s /proc/self/fd/0 "$copy/dev/stdin"
    ln -s /proc/self/fd/1 "$copy/dev/stdout"
    ln -s /proc/self/fd/2 "$copy/dev/stderr"
    # The packages downloaded before, copied in: a shared directory would
    # make two runs at once fail on apt's lock of it.
    flock "$archives/partial" cp -a "$archives/." "$copy/var/cache/apt/archives/"
}

fresh_root_chroot() {
    local rc=0
    chroot "$1" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        /bin/bash -c "$2" || rc=$?
    # What apt downloaded meanwhile is kept for the next run.
    flock "$archives/partial" cp -n "$1"/var/cache/apt/archives/*.deb "$archives/" 2>/dev/null || true
    return "$rc"
}

fresh_copy=""
fresh_child=""
fresh_keep=0

# shellcheck disable=SC2317 # the EXIT trap of fresh_root_spawn
fresh_root_cleanup() {
    local rc=$? i
    trap - INT TERM
    if [ -n "$fresh_child" ]; then
        # Interrupted: ending unshare kills everything in its PID namespace
        # (--kill-child).
        kill -KILL "$fresh_child" 2>/dev/null || true
        wait "$fresh_child" 2>/dev/null || true
    fi
    if [ -n "$fresh_copy" ]; then
        for ((i = 0; i < 100; i++)); do
            processes_inside "$fresh_copy" || break
            sleep 0.1
        done
        if [ "$fresh_keep" -eq 1 ]; then
            say "kept the root in $fresh_copy"
        elif processes_inside "$fresh_copy"; then
            say "not removing $fresh_copy: processes still run inside it"
            rc=1
        else
            remove_tree "$fresh_copy" || rc=1
        fi
    fi
    exit "$rc"
}

fresh_root_spawn() {
    local in_memory=0 available_kb rc=0
    fresh_keep=$1
    shift
    # The copy lives in memory when there is plenty (installing and building
    # there is faster, and it is gone at once at the end), else on disk; on
    # disk too when it is to be kept.
    available_kb=$(awk '$1 == "MemAvailable:" { print $2 }' /proc/meminfo)
    if [ "$fresh_keep" -eq 0 ] && [ "${available_kb:-0}" -ge $((8 * 1024 * 1024)) ]; then
        in_memory=1
    fi

    trap fresh_root_cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    fresh_copy=$(mktemp -d /var/tmp/nodescan-fresh.XXXXXX)
    # In the background so that a signal reaches this script at once; with
    # the signals reset, which a background job would otherwise ignore
    # (SIGINT, SIGQUIT) and pass on to what runs inside.
    env --default-signal unshare --mount --propagation private --pid --fork --kill-child -- \
        "$0" --in-namespace "$fresh_copy" "$in_memory" "$fresh_mirror" "$fresh_security" "$@" &
    fresh_child=$!
    wait "$fresh_child" || rc=$?
    fresh_child=""
    exit "$rc"
}
