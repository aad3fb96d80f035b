# Shared by the benchmark scripts (sourced, not run).

repo=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)

# bench_args "$@": sets build (default build/default) and runs (default 15)
# from the arguments [BUILD_DIR] [RUNS].
bench_args() {
    if [[ $# -gt 2 || ${1:-} == -* ]]; then
        echo "usage: $0 [BUILD_DIR] [RUNS]" >&2
        exit 2
    fi
    build=${1:-build/default}
    runs=${2:-15}
    if [[ ! -d $build && -d $repo/$build ]]; then build=$repo/$build; fi
    [[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "$0: RUNS must be a positive number" >&2; exit 2; }
}

# require_built PROG...: each program, relative to $build, must exist.
require_built() {
    local prog
    for prog in "$@"; do
        if [[ ! -x $build/$prog ]]; then
            echo "$0: $build/$prog not found; build first:" >&2
            echo "  cmake --preset default && cmake --build --preset default" >&2
            exit 2
        fi
    done
}
