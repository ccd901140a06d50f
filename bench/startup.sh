#!/usr/bin/env bash
# Start-up benchmark, whole process: `--version`, `--info` and `--output x.png` of a small
# scene, and the time from starting the viewer to its first frame on an Xvfb screen
# (640x480x24), windowed and full screen. Prints the best and the median of each.
#
# usage: bench/startup.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  a configured and built tree (default build/release; targets trellis and
#              viewer_fixture_scene)
#   RUNS       runs of each windowless command (default 200; the viewer runs RUNS/10 times)
#
# The windowless commands are timed by hyperfine where it is installed (scripts/install-deps
# installs it), otherwise by a loop here. The first frame is the time stamp the viewer prints
# at its first present when TRELLIS_TRACE_STARTUP is set, less the time just before the
# process was started; it includes the 20 ms the viewer waits for its first timer tick.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
runs=${2:-200}
trellis=$build/src/trellis
writer=$build/tests/viewer_fixture_scene
for program in "$trellis" "$writer"; do
    [ -x "$program" ] || {
        echo "startup.sh: $program is missing; build the trellis and viewer_fixture_scene targets" >&2
        exit 2
    }
done

work=$(mktemp -d)
xvfb_pid=
viewer_pid=
cleanup() {
    [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
"$writer" scene.3ds
scene_bytes=$(wc -c <scene.3ds)

# "best median" in milliseconds of the numbers (seconds) on standard input.
summarise() {
    sort -g | awk '{ t[NR] = $1 } END {
        if (NR == 0) { print "- -"; exit }
        m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
        printf "%.1f %.1f\n", t[1] * 1000, m * 1000 }'
}

# "best median" in milliseconds of $runs runs of the command.
time_command() {
    if command -v hyperfine >/dev/null 2>&1; then
        hyperfine -N --warmup 10 --runs "$runs" --export-csv times.csv "$*" >/dev/null 2>&1
        # command,mean,stddev,median,user,system,min,max
        awk -F, 'NR == 2 { printf "%.1f %.1f\n", $7 * 1000, $4 * 1000 }' times.csv
    else
        for _ in $(seq 10); do "$@" >/dev/null; done
        for _ in $(seq "$runs"); do
            local start=$EPOCHREALTIME
            "$@" >/dev/null
            echo "$start $EPOCHREALTIME"
        done | awk '{ print $2 - $1 }' | summarise
    fi
}

row() {
    local what=$1 target=$2 best median
    read -r best median
    printf '%-40s %9s %9s   %s\n' "$what" "$best ms" "$median ms" "$target"
}

printf '%-40s %9s %9s   %s\n' "whole process" "best" "median" "target"
time_command "$trellis" --version | row "--version" ""
time_command "$trellis" --info scene.3ds | row "--info ($scene_bytes-byte scene)" "<= 2 ms"
time_command "$trellis" --output x.png scene.3ds | row "--output x.png ($scene_bytes-byte scene)" "<= 5 ms"

if ! command -v Xvfb >/dev/null 2>&1; then
    echo "first frame: skipped (Xvfb is not installed)"
    exit 0
fi
exec 3>display.txt
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp >xvfb.log 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s display.txt ] && break; sleep 0.1; done
[ -s display.txt ] || {
    echo "startup.sh: Xvfb did not start" >&2
    exit 1
}
export DISPLAY=":$(head -n1 display.txt)"
cp scene.3ds svet.3ds

# One viewer run: prints "module display frame", the seconds from the start of the process
# to the module's loading, SDL's display being open, and the first frame's present.
viewer_run() {
    : >trace.txt
    local start=$EPOCHREALTIME
    TRELLIS_TRACE_STARTUP=1 "$trellis" "$@" 2>trace.txt &
    viewer_pid=$!
    for _ in $(seq 2000); do
        grep -q "first frame" trace.txt && break
        kill -0 "$viewer_pid" 2>/dev/null || break
        sleep 0.005
    done
    kill "$viewer_pid" 2>/dev/null || true
    wait "$viewer_pid" 2>/dev/null || true
    viewer_pid=
    awk -v s="$start" '
        / module loaded / { m = $NF - s } / display open / { d = $NF - s }
        / first frame / { f = $NF - s }
        END { if (f == "") exit 1; printf "%.6f %.6f %.6f\n", m, d, f }' trace.txt
}

viewer_runs=$((runs / 10 > 5 ? runs / 10 : 5))
for mode in windowed "full screen"; do
    args=()
    [ "$mode" = windowed ] && args=(--windowed)
    viewer_run "${args[@]}" >/dev/null || {
        echo "startup.sh: the viewer showed no frame: $(cat trace.txt)" >&2
        exit 1
    }
    : >phases.txt
    for _ in $(seq "$viewer_runs"); do viewer_run "${args[@]}" >>phases.txt; done
    target=""
    [ "$mode" = windowed ] && target="<= 100 ms"
    cut -d' ' -f1 phases.txt | summarise | row "  $mode: SDL module loaded" ""
    cut -d' ' -f2 phases.txt | summarise | row "  $mode: display open (SDL_Init)" ""
    cut -d' ' -f3 phases.txt | summarise | row "first frame on screen, $mode" "$target"
done
