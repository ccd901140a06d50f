#!/usr/bin/env bash
# End to end under Xvfb at 640x480x24: the viewer puts on the screen exactly a frame that
# `--output` writes for one of the first ticks, Escape ends it with status 0, and a missing
# scene ends it with status 1 and one line naming the file. Then the input: Space stops the
# turn, a drag turns the view, R shows the first frame again, Space turns it on, F12 saves a
# PNG equal to the screen, and in a list of files one that does not load is shown with its
# reason while the viewer goes on. A folder stepped through with Page Down in a window, run
# after run: each run ends with status 0 and nothing on stderr, and the viewer never sends an
# event to its own window through the X server (one that arrives after the window is gone is
# the X error BadWindow, which ends the program with status 1). A window resized is drawn at
# its new size, exactly the frames `--output --size` writes at that size. Started with no
# scene where there is no svet.3ds, the viewer shows the installed sample with a line on how
# to open a file. Last, on a screen of 800x600, a named scene is shown full screen at that
# size, exactly the frames of `--output --size 800x600`. Escape and SIGTERM end the viewer
# in the middle of a frame that would take a minute.
#
# Every wait for the viewer polls the screen for the state it must reach, so a loaded machine
# makes the test slower, not wrong.
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

# The frames of the first 250 ticks, from the headless backend; and a named scene's at the
# sizes a resized window and a larger screen give it.
"$trellis" --output turn.gif --frames 250 || fail "--output exited with status $?"
hash_frames turn.gif
"$trellis" --output small.gif --frames 250 --size 400x300 svet.3ds ||
    fail "--output --size 400x300 exited with status $?"
hash_frames small.gif small

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

# Input. Space stops the turn: the screen stands still, and stays so. A left drag turns the
# stopped view: the screen changes. R goes back to the first frame and stays there (the turn
# is still stopped): the screen equals the first frame of --output. F12 saves the frame shown:
# the PNG equals the screen. Space turns the scene again: the screen moves on.
start_ns=$(date +%s%N)
"$trellis" >viewer.out 2>viewer.err &
viewer_pid=$!
match_screen "$viewer_pid" 20
xdotool key space
wait_still 10 || fail "the screen kept changing after Space"
cp still.png stopped.png
sleep 0.5
shot stopped-later.png
same stopped.png stopped-later.png || fail "the screen changed after Space"
xdotool mousemove 300 240 mousedown 1 mousemove 340 250 mousemove 380 260 mouseup 1
wait_change stopped.png 10 || fail "a drag left the screen as it was"
xdotool key r
wait_equal frame_000.png 10 || fail "after R the screen is not the first frame"
echo "Space stops the turn, a drag turns the view, R shows the first frame"
xdotool key F12
for _ in $(seq 100); do grep -q '^saved ' viewer.out && break; sleep 0.1; done
saved=$(sed -n 's/^saved //p' viewer.out)
[ -n "$saved" ] && [ -f "$saved" ] || fail "F12 saved no frame"
[ "$saved" = "$PWD/trellis-0001.png" ] || fail "F12 saved $saved, not trellis-0001.png here"
shot after-save.png
same "$saved" after-save.png || fail "the saved frame differs from the screen"
echo "F12 saved $saved, equal to the screen"
xdotool key space
wait_change frame_000.png 10 || fail "after Space the scene did not turn again"
xdotool key Escape
wait_exit "$viewer_pid" 10
viewer_pid=
[ "$status" = 0 ] || fail "the viewer ended with status ${status:-(still running)} after Escape"

# Several files: one that fails shows its reason and the viewer keeps running.
"$trellis" svet.3ds no-such-scene.3ds >viewer.out 2>viewer.err &
viewer_pid=$!
for _ in $(seq 100); do
    xdotool search --onlyvisible --name . >/dev/null 2>&1 && break
    sleep 0.1
done
xdotool key Next
for _ in $(seq 100); do grep -q "^trellis: no-such-scene.3ds: " viewer.err && break; sleep 0.1; done
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

# A window resized: the frame follows the window's size, drawn anew at it (not a scaled copy):
# the window's own pixels equal a frame of --output at that size.
start_ns=$(date +%s%N)
"$trellis" --windowed svet.3ds >viewer.out 2>viewer.err &
viewer_pid=$!
window=
for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name 'svet.3ds' 2>/dev/null | head -n1) && [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || fail "no window for the windowed viewer"
xdotool windowsize "$window" 400 300
start_ns=$(date +%s%N)
match_screen "$viewer_pid" 20 "$window" small
echo "a window resized to 400x300 shows $matched, as --output --size 400x300 draws it"
xdotool key Escape
wait_exit "$viewer_pid" 10
viewer_pid=
[ "$status" = 0 ] || fail "the resized window ended with status ${status:-(still running)}"

# No scene named, and no svet.3ds here: the sample installed beside the program, full
# screen, with a line at the bottom on how to open a file (and the same on stderr).
mkdir -p elsewhere
(cd elsewhere && exec "$trellis") >viewer.out 2>viewer.err &
viewer_pid=$!
drawn=
for _ in $(seq 100); do
    kill -0 "$viewer_pid" 2>/dev/null || break
    shot sample.png
    if [ "$(pixels_hash sample.png | cut -d' ' -f2)" = 0 ]; then drawn=1; break; fi
    sleep 0.1
done
[ -n "$drawn" ] || fail "no sample scene shown without a scene (stderr: $(cat viewer.err))"
grep -q "showing the sample scene" viewer.err || fail "nothing said of the sample scene"
# The note: lit pixels in the bottom 20 rows of the screen.
convert sample.png -crop 640x20+0+460 +repage -depth 8 note.png
[ "$(pixels_hash note.png | cut -d' ' -f2)" = 0 ] || fail "no note at the bottom of the sample"
xdotool key Escape
wait_exit "$viewer_pid" 10
viewer_pid=
[ "$status" = 0 ] || fail "the sample run ended with status ${status:-(still running)}"
echo "no scene and no svet.3ds here: the sample scene, and $(grep -c . viewer.err) line on stderr"

# A larger screen: a named scene full screen at the screen's own size, 800x600 (150 ticks
# of it: ImageMagick's default limits hold no more frames of that size at once).
"$trellis" --output large.gif --frames 150 --size 800x600 svet.3ds ||
    fail "--output --size 800x600 exited with status $?"
hash_frames large.gif large
kill "$xvfb_pid" 2>/dev/null || true
wait "$xvfb_pid" 2>/dev/null || true
XVFB_SCREEN=800x600x24 start_xvfb -noreset
start_ns=$(date +%s%N)
"$trellis" svet.3ds >viewer.out 2>viewer.err &
viewer_pid=$!
match_screen "$viewer_pid" 20 root large
echo "on an 800x600 screen a named scene is shown full screen at 800x600: $matched"
xdotool key Escape
wait_exit "$viewer_pid" 10
viewer_pid=
[ "$status" = 0 ] || fail "full screen at 800x600 ended with status ${status:-(still running)}"
