#!/usr/bin/env bash
# Peak resident memory per byte of input, whole process, for the files that cost the most
# memory for their size: empty keyframer nodes (node-heavy), a 2 GB sparse file of zero faces,
# and for comparison the ordinary 50 MB scene and 50 MB of bare meshes. Each row: the run, its
# exit status, the file's size, the peak resident memory (/usr/bin/time), that per byte of
# the file, 64 MiB + 4 x the file (the allowance without its 24 bytes a kept face) and the
# wall time.
#
# usage: bench/memory_bench.sh [TRELLIS] [MAKE_HOSTILE]
#   defaults: build/release/src/trellis and build/release/bench/make_hostile
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
trellis=${1:-$root/build/release/src/trellis}
make_hostile=${2:-$root/build/release/bench/make_hostile}
for program in "$trellis" "$make_hostile"; do
    [ -x "$program" ] || {
        echo "no program at $program (cmake --build --preset release)" >&2
        exit 2
    }
done
[ -x /usr/bin/time ] || {
    echo "needs /usr/bin/time (apt-get install time)" >&2
    exit 2
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$make_hostile" "$work" >/dev/null
echo "machine: $(uptime)"
printf '%-34s %6s %14s %11s %9s %11s %8s\n' run status "file bytes" "peak MiB" "per byte" \
    "4x+64M MiB" "wall s"

# Runs trellis with ARGS... on FILE (the last argument), and prints a row LABEL.
row() {
    local label=$1
    shift
    local file=${*: -1} status=0
    /usr/bin/time -f '%M %e' -o "$work/time" "$trellis" "$@" >/dev/null 2>"$work/err" ||
        status=$?
    local size peak wall
    size=$(stat -c %s "$file")
    read -r peak wall < <(tail -n 1 "$work/time")
    awk -v l="$label" -v s="$status" -v b="$size" -v k="$peak" -v w="$wall" 'BEGIN {
        printf "%-34s %6d %14d %11.1f %9.2f %11.0f %8.2f\n", l, s, b, k / 1024, k * 1024 / b,
               (64 * 1048576 + 4 * b) / 1048576, w }'
}

for f in nodes-10M nodes-105M; do
    row "$f thumbnail 64" --thumbnail 64 --output "$work/t.png" "$work/$f.3ds"
    row "$f --info" --info "$work/$f.3ds"
    row "$f --info --json" --info --json "$work/$f.3ds"
done
row "sparse (2 GB) --info" --info "$work/sparse.3ds"
row "sparse (2 GB) thumbnail 64" --thumbnail 64 --output "$work/t.png" "$work/sparse.3ds"
row "sparse (2 GB) --output png" --output "$work/t.png" "$work/sparse.3ds"
for f in large bare-meshes; do
    row "$f (50 MB) --info" --info "$work/$f.3ds"
    row "$f (50 MB) thumbnail 256" --thumbnail 256 --output "$work/t.png" "$work/$f.3ds"
    row "$f (50 MB) --output png" --output "$work/t.png" "$work/$f.3ds"
done
