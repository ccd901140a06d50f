# Shared by the end-to-end scripts that run a viewer on an Xvfb screen and compare what it
# shows with the frames that `trellis --output` writes. Source it; it defines:
#
#   require_tools TOOL...       exit 77 (skipped) when one is not installed
#   fail MESSAGE                print the message and the viewer's output files, exit 1
#   start_xvfb [OPTION...]      a screen of 640x480x24 of its own; sets DISPLAY
#   hash_frames GIF             the frames of GIF, by the hash of their pixels
#   match_screen PID            screenshots until one equals a frame; sets matched, first_ms
#   wait_exit PID SECONDS       waits for PID to end; sets status (empty: still running)
#   stop_all                    kills what is still running (also on exit)

xvfb_pid=
viewer_pid=
start_ns=
matched=
first_ms=
status=
declare -A frame_of_hash

stop_all() {
    [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    viewer_pid=
    xvfb_pid=
}
trap stop_all EXIT

require_tools() {
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "skipped: $tool is not installed"
            exit 77
        fi
    done
}

fail() {
    echo "FAIL: $*" >&2
    for f in viewer.err viewer.out; do [ -s "$f" ] && sed "s/^/  $f: /" "$f" >&2; done
    exit 1
}

pixels_hash() {
    convert "$1" -depth 8 rgb:- | sha256sum | cut -c1-64
}

# Xvfb picks a free display number and writes it to fd 3 when it is ready; OPTIONs are
# passed on (-noreset: no reset when the last client leaves, during which a program started
# just then would find no display).
start_xvfb() {
    exec 3>display.txt
    Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp "$@" >xvfb.log 2>&1 &
    xvfb_pid=$!
    exec 3>&-
    for _ in $(seq 100); do [ -s display.txt ] && break; sleep 0.1; done
    [ -s display.txt ] || fail "Xvfb did not start"
    export DISPLAY=":$(head -n1 display.txt)"
}

hash_frames() {
    convert "$1" -coalesce +adjoin frame_%03d.png
    for f in frame_*.png; do
        frame_of_hash[$(pixels_hash "$f")]=$f
    done
    black_hash=$(convert -size 640x480 xc:black -depth 8 rgb:- | sha256sum | cut -c1-64)
}

# Takes screenshots (into shot.png) until one shows a frame of hash_frames, for at most
# 1.8 s after the first drawn screenshot (the first 100 ticks last 2 s) and at most
# $1 seconds in all. A screenshot taken mid-update matches nothing; the next one is taken.
match_screen() {
    local pid=$1 limit_s=${2:-20} first_ns= now
    matched=
    first_ms=
    while :; do
        now=$(date +%s%N)
        [ $(((now - start_ns) / 1000000000)) -lt "$limit_s" ] || break
        kill -0 "$pid" 2>/dev/null || fail "the viewer ended before Escape"
        import -window root -depth 8 shot.png 2>/dev/null || { sleep 0.05; continue; }
        local hash
        hash=$(pixels_hash shot.png)
        if [ "$hash" = "$black_hash" ]; then sleep 0.02; continue; fi
        if [ -z "$first_ns" ]; then
            first_ns=$now
            first_ms=$(((now - start_ns) / 1000000))
        fi
        if [ -n "${frame_of_hash[$hash]:-}" ]; then
            matched=${frame_of_hash[$hash]}
            break
        fi
        [ $(((now - first_ns) / 1000000)) -lt 1800 ] || break
    done
    [ -n "$matched" ] || fail "no screenshot equals a --output frame of the first 100 ticks"
    local differing
    differing=$(compare -metric AE shot.png "$matched" null: 2>&1 || true)
    [ "$differing" = "0" ] || fail "screenshot and $matched differ in $differing pixels"
}

wait_exit() {
    local pid=$1 seconds=$2
    status=
    for _ in $(seq $((seconds * 10))); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid" && status=0 || status=$?
            return
        fi
        sleep 0.1
    done
}
