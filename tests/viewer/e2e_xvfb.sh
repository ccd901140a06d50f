#!/usr/bin/env bash
# End to end under Xvfb at 640x480x24: the viewer puts on the screen exactly a frame that
# `--output` writes for one of the first 100 ticks, Escape ends it with status 0, and a
# missing scene ends it with status 1 and one line naming the file. Then the input: Space
# stops the turn, a drag turns the view, R and Space show the first frame again, F12 saves a
# PNG equal to the screen, and in a list of files one that does not load is shown with its
# reason while the viewer goes on. Then a folder stepped through with Page Down in a window,
# run after run: each run ends with status 0 and nothing on stderr, and the viewer never sends
# an event to its own window through the X server (one that arrives after the window is gone
# is the X error BadWindow, which ends the program with status 1). Last, Escape and SIGTERM
# end it in the middle of a frame that would take a minute.
#
# usage: e2e_xvfb.sh TRELLIS FIXTURE_WRITER WORK_DIR
# Exits 77 (skipped) when Xvfb, xdotool, ImageMagick or xtrace is not installed.
set -euo pipefail

trellis=$1
writer=$2
work=$3
source "$(dirname "$0")/../support/xvfb_screen.sh"

require_tools Xvfb xdotool import convert compare xtrace
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# The X and D-Bus client libraries keep allocations until exit; under LeakSanitizer they
# would be reported as the viewer's. Memory errors still abort.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"

"$writer" svet.3ds

# The frames of the first 100 ticks, from the headless backend.
"$trellis" --output turn.gif --frames 100 || fail "--output exited with status $?"
hash_frames turn.gif

# The viewer starts many times on it, in moments when it may have no other client.
start_xvfb -noreset
start_ns=$(date +%s%N)
"$trellis" >viewer.out 2>viewer.err &
viewer_pid=$!
match_screen "$viewer_pid" 20
echo "screen equals $matched; first frame seen $first_ms ms after start"

xdotool key Escape
wait_exit "$viewer_pid" 10
viewer_pid=
[ -n "$status" ] || fail "the viewer did not end within 10 s of Escape"
[ "$status" = 0 ] || fail "the viewer ended with status $status after Escape"

# A missing scene: status 1 and one line on stderr naming the file.
status=0
"$trellis" no-such-scene.3ds >missing.out 2>missing.err || status=$?
[ "$status" = 1 ] || fail "missing scene: status $status, expected 1"
grep -q "^trellis: no-such-scene.3ds: " missing.err ||
    fail "missing scene: stderr was: $(cat missing.err)"
echo "missing scene: status 1: $(grep '^trellis:' missing.err)"

# Input. Space stops the turn: two screenshots a while apart are equal. A left drag turns
# the stopped view: the screen changes. Space turns it again, and R + Space goes back to the
# first frame and stops there: the screen equals the first frame of --output. F12 saves the
# frame shown: the PNG equals the screen.
shot() { import -window root -depth 8 "$1"; }
same() { [ "$(compare -metric AE "$1" "$2" null: 2>&1 || true)" = "0" ]; }
start_ns=$(date +%s%N)
"$trellis" >viewer.out 2>viewer.err &
viewer_pid=$!
match_screen "$viewer_pid" 20
xdotool key space
sleep 0.3
shot stopped1.png
sleep 0.5
shot stopped2.png
same stopped1.png stopped2.png || fail "the screen changed after Space"
xdotool mousemove 300 240 mousedown 1 mousemove 340 250 mousemove 380 260 mouseup 1
sleep 0.3
shot dragged.png
same stopped2.png dragged.png && fail "a drag left the screen as it was"
xdotool key space
sleep 0.3
xdotool key r space
sleep 0.3
shot reset.png
same reset.png frame_000.png || fail "after R and Space the screen is not the first frame"
echo "Space stops the turn, a drag turns the view, R and Space show the first frame"
xdotool key F12
for _ in $(seq 50); do grep -q '^saved ' viewer.out && break; sleep 0.1; done
saved=$(sed -n 's/^saved //p' viewer.out)
[ -n "$saved" ] && [ -f "$saved" ] || fail "F12 saved no frame"
[ "$saved" = "$PWD/trellis-0001.png" ] || fail "F12 saved $saved, not trellis-0001.png here"
shot after-save.png
same "$saved" after-save.png || fail "the saved frame differs from the screen"
echo "F12 saved $saved, equal to the screen"
xdotool key Escape
wait_exit "$viewer_pid" 10
viewer_pid=
[ "$status" = 0 ] || fail "the viewer ended with status ${status:-(still running)} after Escape"

# Several files: one that fails shows its reason and the viewer keeps running.
"$trellis" svet.3ds no-such-scene.3ds >viewer.out 2>viewer.err &
viewer_pid=$!
sleep 1
xdotool key Next
sleep 0.5
kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer ended on a file that does not load"
grep -q "^trellis: no-such-scene.3ds: " viewer.err || fail "no reason on stderr for the file"
shot failed.png
xdotool key Escape
wait_exit "$viewer_pid" 10
viewer_pid=
[ "$status" = 0 ] || fail "the viewer ended with status ${status:-(still running)} after Escape"
echo "a file that does not load: $(grep '^trellis:' viewer.err)"

# A folder in a window: Page Down several times, then Escape, again and again. The first run
# goes through xtrace, which logs every X request: no SendEvent may name a window the viewer
# made (SDL wakes its own wait for events that way, from a second connection, and the X
# server may take that event only after the window was destroyed).
mkdir -p list
for name in a b c d; do cp svet.3ds "list/$name.3ds"; done
trace_display=
for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { trace_display=$n; break; }
done
[ -n "$trace_display" ] || fail "no free display number for xtrace"
runs=10
for run in $(seq "$runs"); do
    if [ "$run" = 1 ]; then
        xtrace -n -d "$DISPLAY" -D ":$trace_display" -o x11.trace -- \
            "$trellis" --windowed list >viewer.out 2>viewer.err &
    else
        "$trellis" --windowed list >viewer.out 2>viewer.err &
    fi
    viewer_pid=$!
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name . >/dev/null 2>&1 && break
        kill -0 "$viewer_pid" 2>/dev/null || break
        sleep 0.1
    done
    sleep 0.3
    for step in 1 2 3 4 5; do
        xdotool key Next
        sleep "0.$((step * run % 4 + 1))"
    done
    xdotool key Escape
    wait_exit "$viewer_pid" 10
    viewer_pid=
    [ "$status" = 0 ] ||
        fail "list run $run ended with status ${status:-(still running)} after Escape"
    if [ "$run" = 1 ]; then
        rm -f "/tmp/.X11-unix/X$trace_display"  # xtrace leaves its socket behind
        windows=$(sed -n 's/.*Request(1): CreateWindow depth=[^ ]* window=\(0x[0-9a-f]*\) .*/\1/p' x11.trace)
        [ -n "$windows" ] || fail "the trace shows no window made"
        for window in $windows; do
            if grep -q "Request(25): SendEvent .*destination=$window " x11.trace; then
                fail "an event was sent to the viewer's own window $window: $(grep -m1 \
                    "destination=$window " x11.trace | cut -c1-200)"
            fi
        done
    else
        [ ! -s viewer.err ] || fail "list run $run wrote on stderr"
    fi
done
echo "a folder stepped through in a window: $runs runs ended with status 0, nothing on" \
    "stderr, no event sent to the viewer's own window"

# In the middle of a long frame (one mesh of 65,535 faces drawn by 2,000 nodes, the frame's
# budget raised past it: a minute a frame), Escape and SIGTERM end the viewer at once.
"$writer" --instances 2000 instances.3ds
for ending in Escape TERM; do
    "$trellis" --windowed --animate --max-faces 1000000000 instances.3ds >viewer.out \
        2>viewer.err &
    viewer_pid=$!
    sleep 2
    kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer of long frames ended by itself"
    sent_ns=$(date +%s%N)
    if [ "$ending" = Escape ]; then xdotool key Escape; else kill -TERM "$viewer_pid"; fi
    wait_exit "$viewer_pid" 10
    viewer_pid=
    [ -n "$status" ] || fail "the viewer did not end within 10 s of $ending in a long frame"
    [ "$status" = 0 ] || fail "the viewer ended with status $status after $ending"
    echo "$ending in a long frame: ended after $((($(date +%s%N) - sent_ns) / 1000000)) ms"
done
