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

for tool in Xvfb xdotool import convert compare; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed"
        exit 77
    fi
done

rm -rf "$work"
mkdir -p "$work"
cd "$work"

xvfb_pid=
viewer_pid=
cleanup() {
    [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    for f in viewer.err viewer.out; do [ -s "$f" ] && sed "s/^/  $f: /" "$f" >&2; done
    exit 1
}

# The X and D-Bus client libraries keep allocations until exit; under LeakSanitizer they
# would be reported as the viewer's. Memory errors still abort.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"

"$writer" svet.3ds

# The frames of the first 100 ticks, from the headless backend.
"$trellis" --output turn.gif --frames 100 || fail "--output exited with status $?"
convert turn.gif -coalesce +adjoin frame_%03d.png
declare -A frame_of_hash
for f in frame_*.png; do
    frame_of_hash[$(convert "$f" -depth 8 rgb:- | sha256sum | cut -c1-64)]=$f
done
black_hash=$(convert -size 640x480 xc:black -depth 8 rgb:- | sha256sum | cut -c1-64)

# A display of its own: Xvfb picks a free number and writes it to fd 3 when ready.
exec 3> display.txt
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp >xvfb.log 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s display.txt ] && break; sleep 0.1; done
[ -s display.txt ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 display.txt)"

start=$(date +%s%N)
"$trellis" >viewer.out 2>viewer.err &
viewer_pid=$!

# Screenshots until one shows a frame drawn in the first 100 ticks (2 s of ticks).
matched=
first_seen=
for attempt in $(seq 200); do
    kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer ended before Escape"
    import -window root -depth 8 shot.png 2>/dev/null || { sleep 0.05; continue; }
    hash=$(convert shot.png -depth 8 rgb:- | sha256sum | cut -c1-64)
    if [ "$hash" = "$black_hash" ]; then sleep 0.02; continue; fi
    [ -n "$first_seen" ] || first_seen=$(date +%s%N)
    if [ -n "${frame_of_hash[$hash]:-}" ]; then
        matched=${frame_of_hash[$hash]}
        break
    fi
    # Drawn, but no frame of the first 100 ticks (or taken mid-update): look again.
    if [ $(( ($(date +%s%N) - first_seen) / 1000000 )) -gt 1800 ]; then break; fi
done
[ -n "$matched" ] || fail "no screenshot equals a --output frame of the first 100 ticks"
differing=$(compare -metric AE shot.png "$matched" null: 2>&1 || true)
[ "$differing" = "0" ] || fail "screenshot and $matched differ in $differing pixels"
echo "screen equals $matched; first frame seen $(( (first_seen - start) / 1000000 )) ms after start"

xdotool key Escape
status=
for _ in $(seq 100); do
    if ! kill -0 "$viewer_pid" 2>/dev/null; then
        wait "$viewer_pid" && status=0 || status=$?
        break
    fi
    sleep 0.1
done
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
