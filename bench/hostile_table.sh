#!/usr/bin/env bash
# Replays every hostile case of the safety work, one line each: what the program does with a
# destination, a file or a signal an attacker chose, with its exit status, peak resident
# memory (/usr/bin/time), wall time and what is left on disk. Cases that need root (a device
# node) or a display (Escape and SIGTERM in the viewer) are skipped without them.
#
# usage: bench/hostile_table.sh [TRELLIS] [MAKE_HOSTILE] [FIXTURE_WRITER]
#   defaults: build/release/src/trellis, build/release/bench/make_hostile and
#   build/release/tests/viewer_fixture_scene
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
trellis=${1:-$root/build/release/src/trellis}
make_hostile=${2:-$root/build/release/bench/make_hostile}
writer=${3:-$root/build/release/tests/viewer_fixture_scene}
scene=$root/assets/svet.3ds
for program in "$trellis" "$make_hostile"; do
    [ -x "$program" ] || {
        echo "no program at $program (cmake --build --preset release)" >&2
        exit 2
    }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
in=$work/in
mkdir -p "$in"
"$make_hostile" "$in" >/dev/null
cd "$work"
echo "machine: $(uptime)"

# Runs trellis with ARGS... (timeout 120 s), setting status, peak_mb and wall.
measure() {
    status=0
    /usr/bin/time -f '%M %e' -o time.txt timeout -s KILL 120 "$trellis" "$@" >out.txt \
        2>err.txt || status=$?
    read -r peak wall < <(tail -n 1 time.txt)
    peak_mb=$(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')
}
say() { printf '%-58s %s\n' "$1" "$2"; }
left() { ls -A "$1" | tr '\n' ' '; }
first_error() { head -c 160 err.txt | head -n 1; }

# ---- destinations ----
d=$work/d && rm -rf "$d" && mkdir -p "$d"
if [ "$(id -u)" = 0 ]; then
    mknod "$d/null" c 1 3
    measure --thumbnail 64 --output "$d/null" "$scene"
    say "--output a device node (a copy of /dev/null)" "status $status; still $(stat -c %F "$d/null")"
else
    say "--output a device node" "skipped (needs root)"
fi
rm -rf "$d" && mkdir -p "$d" && echo secret >"$d/target" && ln -s target "$d/x.png.part"
measure --output "$d/x.png" "$scene"
say "symlink planted at NAME.part" "status $status; target: $(file -b "$d/target" | cut -c1-20); left: $(left "$d")"
rm -rf "$d" && mkdir -p "$d" && echo unrelated >"$d/x.png.part"
measure --output "$d/x.png" "$scene"
say "unrelated NAME.part" "status $status; NAME.part: $(cat "$d/x.png.part" 2>&1 | cut -c1-40)"
rm -rf "$d" && mkdir -p "$d" && cp "$scene" "$d/m.3ds"
measure --thumbnail 64 --output "$d/m.3ds" "$d/m.3ds"
cmp -s "$scene" "$d/m.3ds" && kept="the scene intact" || kept="THE SCENE CHANGED"
say "--thumbnail 64 --output m.3ds m.3ds" "status $status; $kept: $(first_error)"

# ---- memory ----
for f in nodes-10M nodes-105M; do
    measure --thumbnail 64 --output "$work/t.png" "$in/$f.3ds"
    say "$f.3ds thumbnail" "status $status; peak $peak_mb MB; $wall s $(first_error)"
done
measure --info --json "$in/nodes-10M.3ds"
say "nodes-10M.3ds --info --json" "status $status; peak $peak_mb MB; $wall s $(first_error)"
measure --max-memory 2G --info --json "$in/nodes-10M.3ds"
say "nodes-10M.3ds --max-memory 2G --info --json" "status $status; peak $peak_mb MB; $wall s"
measure --info "$in/sparse.3ds"
say "2 GB sparse file of zero faces, --info" "status $status; peak $peak_mb MB; $wall s"
measure --output "$work/t.png" "$in/sparse.3ds"
say "2 GB sparse file of zero faces, --output" "status $status; peak $peak_mb MB; $(first_error)"

# ---- work ----
measure --animate --output "$work/i.png" "$in/instances.3ds"
say "20,000 nodes x 65,535 faces, --animate --output" "status $status; $wall s; $(first_error)"
rm -f "$work/i.png"
"$trellis" --animate --max-faces 2000000000 --output "$work/i.png" "$in/instances.3ds" 2>/dev/null &
pid=$!
sleep 1
sent=$(date +%s%N)
kill -TERM "$pid"
wait "$pid"
status=$?
say "  the same drawn (budget raised), SIGTERM after 1 s" \
    "status $status after $((($(date +%s%N) - sent) / 1000000)) ms; left: $(left "$work" | tr ' ' '\n' | grep -c '\.part$') temporary"
measure --animate --output "$work/l.gif" "$in/long-segment.3ds"
say "GIF of --animate, a 2^31-frame segment" "status $status; $(stat -c %s "$work/l.gif") bytes; $wall s"
mkfifo fifo
measure --info fifo
say "--info on a FIFO with no writer" "status $status; $wall s; $(first_error)"
for report in --info "--info --json" --chunks; do
    # shellcheck disable=SC2086
    status=0 && "$trellis" $report "$scene" >/dev/full 2>err.txt || status=$?
    say "$report into /dev/full" "status $status; $(first_error)"
done

# ---- memory outside the loader, signals, names ----
rm -rf "$d" && mkdir -p "$d"
status=0 && (ulimit -v 153600 && "$trellis" --animate --frames 3 --output "$d/x.gif" "$in/large.3ds" \
    2>"$work/err.txt") || status=$?
say "address space of 150 MB, --animate --output x.gif" "status $status; left: $(left "$d"); $(first_error)"
rm -rf "$d" && mkdir -p "$d"
"$trellis" --frames 100000 --output "$d/x.gif" "$scene" 2>/dev/null &
pid=$!
sleep 1
kill -TERM "$pid"
wait "$pid"
say "SIGTERM during --output" "status $?; left: $(left "$d")"
say "thumbnailer Exec line" "$(sed -n 's/^Exec=//p' "$root/packaging/trellis.thumbnailer")"
rm -rf "$d" && mkdir -p "$d"
"$trellis" --size 300x200 --output "$d/same.png" "$scene" 2>"$work/a.err" & a=$!
"$trellis" --size 200x300 --output "$d/same.png" "$in/large.3ds" 2>"$work/b.err" & b=$!
wait $a; sa=$?
wait $b; sb=$?
say "two runs writing one output at once" "status $sa and $sb; $(file -b "$d/same.png" | cut -c1-26); left: $(left "$d")"
"$trellis" --info --json "$in/latin1-names.3ds" >names.json
say "names that are not UTF-8, --json" "$(grep -m1 -o '"nameBytes": "[0-9a-f]*"' names.json)"

# ---- the viewer in a long frame (needs Xvfb and xdotool) ----
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null && [ -x "$writer" ]; then
    "$writer" --instances 2000 long.3ds
    exec 3>display.txt
    Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    exec 3>&-
    for _ in $(seq 100); do [ -s display.txt ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n1 display.txt)"
    for ending in Escape TERM; do
        "$trellis" --windowed --animate --max-faces 1000000000 long.3ds >/dev/null 2>&1 &
        pid=$!
        sleep 2
        sent=$(date +%s%N)
        if [ "$ending" = Escape ]; then xdotool key Escape; else kill -TERM "$pid"; fi
        wait "$pid"
        status=$?
        say "viewer in a minute-long frame: $ending" "status $status after $((($(date +%s%N) - sent) / 1000000)) ms"
    done
    kill "$xvfb"
else
    say "viewer in a long frame: Escape, SIGTERM" "skipped (needs Xvfb, xdotool)"
fi
