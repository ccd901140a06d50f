#!/usr/bin/env bash
# End to end under Xvfb at 640x480x24: the viewer puts on the screen exactly a frame that
# `--output` writes for one of the first 100 ticks, Escape ends it with status 0, and a
# missing scene ends it with status 1 and one line naming the file.
#
# usage: e2e_xvfb.sh TRELLIS FIXTURE_WRITER WORK_DIR
# Exits 77 (skipped) when Xvfb, xdotool or ImageMagick is not installed.
set -euo pipefail

trellis=$1
writer=$2
work=$3
source "$(dirname "$0")/../support/xvfb_screen.sh"

require_tools Xvfb xdotool import convert compare
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

start_xvfb
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
