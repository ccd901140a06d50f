#!/usr/bin/env bash
# The native Windows program under Wine, on an Xvfb screen of 640x480x24: it puts on the
# screen exactly a frame that the Linux program's `--output` writes for one of the first
# ticks, Space, a drag and R act as on Linux, Escape ends it with status 0; a scene named is
# shown full screen at the desktop's own size without a mode switch, exactly as `--output`
# draws it framed at that size; a missing scene ends it with status 1 and the file and
# reason on stderr, or in a message box when it was started without one (as from Explorer).
# Prints the start-up time and the cost of one tick, on the fixture scene and on each further
# SCENE. The waits poll the screen for the state they wait for, so a loaded machine makes
# the check slower, not wrong.
#
# usage: wine_check.sh TRELLIS_EXE TICK_BENCH_EXE TRELLIS FIXTURE_WRITER WORK_DIR [SCENE...]
# Exits 77 (skipped) when Wine, Xvfb, xdotool or ImageMagick is not installed.
set -euo pipefail

exe=$(realpath "$1")
tick_bench=$(realpath "$2")
trellis=$(realpath "$3")
writer=$(realpath "$4")
work=$5
shift 5
scenes=()
for scene in "$@"; do scenes+=("$(realpath "$scene")"); done
source "$(dirname "$0")/../support/xvfb_screen.sh"

require_tools wine wineboot wineserver Xvfb xdotool import convert compare
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# A fresh Wine prefix, quiet, without the .NET and HTML engines it would offer to install.
export WINEPREFIX="$PWD/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_stop() {
    wineserver -k 2>/dev/null || true
    stop_all
}
trap wine_stop EXIT
wineboot -i >wineboot.log 2>&1 || fail "wineboot -i failed: $(tail -n3 wineboot.log)"
# A virtual desktop of exactly the display mode the viewer sets: Wine then grants the mode
# on any screen, and closes the program at once on exit, keeping its status.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >reg.log 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x480 /f >>reg.log 2>&1
wineserver -w

"$writer" svet.3ds
"$trellis" --output turn.gif --frames 250 || fail "--output exited with status $?"
hash_frames turn.gif
"$trellis" --output named.gif --frames 250 svet.3ds || fail "--output svet.3ds exited with status $?"
hash_frames named.gif named
cp "$exe" trellis.exe

start_xvfb
# The server stays up between the runs, so that each start-up is the program's own.
wineserver -p
start_ns=$(date +%s%N)
wine trellis.exe >viewer.out 2>viewer.err &
viewer_pid=$!
match_screen "$viewer_pid" 60
echo "screen equals $matched; first frame seen $first_ms ms after start"

# Input, as on Linux: Space stops the turn (the screen stands still, and stays so), a drag
# turns the view, R shows the first frame again, Space turns it on.
xdotool key space
wait_still 20 || fail "the screen kept changing after Space"
cp still.png stopped.png
sleep 0.5
shot stopped-later.png
same stopped.png stopped-later.png || fail "the screen changed after Space"
xdotool mousemove 300 240 mousedown 1 mousemove 340 250 mousemove 380 260 mouseup 1
wait_change stopped.png 20 || fail "a drag left the screen as it was"
xdotool key r
wait_equal frame_000.png 20 || fail "after R the screen is not the first frame"
xdotool key space
wait_change frame_000.png 20 || fail "after Space the scene did not turn again"
echo "Space stops the turn, a drag turns the view, R shows the first frame, Space turns it on"

xdotool key Escape
escape_ns=$(date +%s%N)
wait_exit "$viewer_pid" 20
viewer_pid=
[ -n "$status" ] || fail "trellis.exe did not end within 20 s of Escape"
[ "$status" = 0 ] || fail "trellis.exe ended with status $status after Escape"
echo "ended with status 0, $((($(date +%s%N) - escape_ns) / 1000000)) ms after Escape"

# A scene named: full screen at the desktop's own size (Wine's desktop of 640x480), no mode
# switch, framed: the screen equals a frame of `--output` of that scene.
start_ns=$(date +%s%N)
wine trellis.exe svet.3ds >viewer.out 2>viewer.err &
viewer_pid=$!
match_screen "$viewer_pid" 60 root named
echo "a scene named: screen equals $matched; first frame seen $first_ms ms after start"
xdotool key Escape
wait_exit "$viewer_pid" 20
viewer_pid=
[ "$status" = 0 ] || fail "trellis.exe svet.3ds ended with status ${status:-(still running)}"

status=0
wine trellis.exe no-such-scene.3ds >missing.out 2>missing.err || status=$?
[ "$status" = 1 ] || fail "missing scene: status $status, expected 1"
grep -q "^trellis: no-such-scene.3ds: " missing.err ||
    fail "missing scene: stderr was: $(cat missing.err)"
echo "missing scene: status 1: $(grep '^trellis:' missing.err)"

# "--" ends the options: a scene named like an option is a scene (status 1, missing), not
# a usage error (status 2).
status=0
wine trellis.exe -- -no-such-scene.3ds >dash.out 2>dash.err || status=$?
[ "$status" = 1 ] || fail "-- -no-such-scene.3ds: status $status, expected 1"
grep -q "^trellis: -no-such-scene.3ds: " dash.err || fail "-- then a scene: stderr was: $(cat dash.err)"
echo "-- then a scene named like an option: status 1: $(grep '^trellis:' dash.err)"

# Started as Explorer starts it, with no stderr: the reason waits in a message box until
# the user answers it.
status=
(
    code=0
    wine start /wait trellis.exe no-such-scene.3ds </dev/null >box.out 2>box.err || code=$?
    echo "$code" >box.status
) &
box_pid=$!
for _ in $(seq 50); do
    [ "$(xdotool search --name '^Trellis Engine 1.0$' 2>/dev/null | wc -l)" -ge 2 ] && break
    sleep 0.2
done
sleep 1
[ ! -s box.status ] || fail "no message box: trellis.exe ended with status $(cat box.status)"
import -window root box.png
xdotool key Return
wait "$box_pid" || true
[ "$(cat box.status)" = 1 ] || fail "after the message box: status $(cat box.status), expected 1"
echo "missing scene without stderr: a message box (box.png), then status 1"

# The cost of one tick on the real DirectDraw of Wine.
cp "$tick_bench" tick_bench.exe
for scene in "$PWD/svet.3ds" "${scenes[@]}"; do
    cp "$scene" bench.3ds
    wine tick_bench.exe bench.3ds >tick.out 2>tick.err || fail "tick_bench.exe: $(cat tick.err)"
    echo "$scene: $(cat tick.out)"
done
