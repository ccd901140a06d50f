#!/usr/bin/env bash
# Times the file manager's thumbnailer command as a file manager runs it, one whole process
# per thumbnail: the Exec line of packaging/trellis.thumbnailer with %s, %i and %o filled in.
# Prints the best and the median wall time of RUNS runs for each scene (the bundled scene when
# none is given) and whether the median is under the 50 ms target.
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
    times=()
    for ((i = 0; i < runs; ++i)); do
        rm -f "$work/thumb.png"
        start=$(date +%s%N)
        "${argv[@]}"
        end=$(date +%s%N)
        [ -f "$work/thumb.png" ] || { echo "no thumbnail written for $scene" >&2; exit 1; }
        times+=($(((end - start) / 1000)))
    done
    sorted=($(printf '%s\n' "${times[@]}" | sort -n))
    best=${sorted[0]}
    median=${sorted[$((runs / 2))]}
    verdict="under the 50 ms target"
    [ "$median" -lt 50000 ] || verdict="OVER the 50 ms target"
    printf '%s: %dx%d thumbnail, %d runs: best %d.%01d ms, median %d.%01d ms (%s)\n' \
        "$(basename "$scene")" "$size" "$size" "$runs" $((best / 1000)) $((best % 1000 / 100)) \
        $((median / 1000)) $((median % 1000 / 100)) "$verdict"
done
