#!/usr/bin/env bash
# Times the file manager's thumbnailer command as a file manager runs it, one whole process
# per thumbnail: the Exec line of packaging/trellis.thumbnailer with %s, %i and %o filled in.
# Prints the best and the median wall time of RUNS runs for each scene (the bundled scene when
# none is given) and whether the median is under the target: 10 ms for the bundled scene
# (drawn shaded, as every thumbnail is), 50 ms for any other scene.
#
# usage: bench/thumbnail_bench.sh [TRELLIS] [SIZE] [RUNS] [SCENE...]
#   TRELLIS defaults to build/release/src/trellis, SIZE to 256, RUNS to 30.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
trellis=${1:-$root/build/release/src/trellis}
size=${2:-256}
runs=${3:-30}
shift $(($# < 3 ? $# : 3))
scenes=("$@")
[ ${#scenes[@]} -gt 0 ] || scenes=("$root/assets/svet.3ds")
[ -x "$trellis" ] || {
    echo "no program at $trellis (cmake --build --preset release)" >&2
    exit 2
}
exec_line=$(sed -n 's/^Exec=//p' "$root/packaging/trellis.thumbnailer")
read -r -a words <<<"$exec_line"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PATH="$(dirname "$trellis"):$PATH"

for scene in "${scenes[@]}"; do
    argv=()
    for word in "${words[@]}"; do
        word=${word//%s/$size}
        word=${word//%i/$scene}
        word=${word//%o/$work/thumb.png}
        argv+=("$word")
    done
    walls=() cpus=()
    for ((i = 0; i < runs; ++i)); do
        rm -f "$work/thumb.png"
        # bash's time: wall, user and system seconds of the whole process.
        read -r wall user sys < <({ TIMEFORMAT='%3R %3U %3S'; time "${argv[@]}"; } 2>&1)
        [ -f "$work/thumb.png" ] || { echo "no thumbnail written for $scene" >&2; exit 1; }
        walls+=("$wall")
        cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')")
    done
    stats() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 }
        END { printf "best %.1f ms, median %.1f ms", v[1] * 1000, v[int(NR / 2) + 1] * 1000 }'; }
    median_ms=$(printf '%s\n' "${walls[@]}" | sort -n | awk '{ v[NR] = $1 } END { printf "%d", v[int(NR / 2) + 1] * 1000 + 0.999 }')
    target_ms=50
    [ "$(basename "$scene")" != svet.3ds ] || target_ms=10
    verdict="within the $target_ms ms target"
    [ "$median_ms" -le "$target_ms" ] ||
        verdict="OVER the $target_ms ms target (a busy machine shows in wall time; see CPU)"
    printf '%s, %dx%d, %d runs: wall %s (%s); CPU %s\n' "$(basename "$scene")" "$size" "$size" \
        "$runs" "$(stats "${walls[@]}")" "$verdict" "$(stats "${cpus[@]}")"
done
