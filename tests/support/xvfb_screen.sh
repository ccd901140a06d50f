# Shared by the end-to-end scripts that run a viewer on an Xvfb screen and compare what it
# shows with the frames that `trellis --output` writes. Source it; it defines:
#
#   require_tools TOOL...       exit 77 (skipped) when one is not installed
#   fail MESSAGE                print the message and the viewer's output files, exit 1
#   start_xvfb [OPTION...]      a screen of its own (XVFB_SCREEN, 640x480x24 unless set);
#                               sets DISPLAY
#   hash_frames GIF [LABEL]     the frames of GIF, by the hash of their pixels, named
#                               LABEL_NNN (LABEL "frame" unless given); LABEL_000.png is the
#                               first frame as a picture
#   match_screen PID [LIMIT_S] [WINDOW] [LABEL]
#                               screenshots (of the screen, or of window WINDOW) until one
#                               equals a frame (named LABEL_NNN, when LABEL is given); sets
#                               matched, first_ms
#   shot FILE [WINDOW]          a screenshot of the screen, or of WINDOW
#   same A B                    whether two pictures have the same pixels
#   wait_still SECONDS          until two screenshots taken a moment apart are equal
#                               (into still.png); false after SECONDS
#   wait_equal FILE SECONDS     until a screenshot equals FILE; false after SECONDS
#   wait_change FILE SECONDS    until a screenshot differs from FILE; false after SECONDS
#   wait_exit PID SECONDS       waits for PID to end; sets status (empty: still running)
#   stop_all                    kills what is still running (also on exit)
#
# The waits poll instead of sleeping a fixed time, so that a loaded machine (CI, a shared
# build host) only makes them slower, never wrong.

xvfb_pid=
viewer_pid=
start_ns=
matched=
first_ms=
status=
frames_hashed=0
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

# The hash of a picture's pixels, then 1 when every pixel has the same colour (a screen not
# drawn yet, black, or the white of a window the system shows before its program draws).
pixels_hash() {
    convert "$1" -depth 8 rgb:- | python3 -c '
import hashlib, sys
data = sys.stdin.buffer.read()
uniform = len(data) >= 3 and data == data[:3] * (len(data) // 3)
print(hashlib.sha256(data).hexdigest(), int(uniform))'
}

# Xvfb picks a free display number and writes it to fd 3 when it is ready; OPTIONs are
# passed on (-noreset: no reset when the last client leaves, during which a program started
# just then would find no display).
start_xvfb() {
    exec 3>display.txt
    Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-640x480x24}" -nolisten tcp "$@" >xvfb.log 2>&1 &
    xvfb_pid=$!
    exec 3>&-
    for _ in $(seq 100); do [ -s display.txt ] && break; sleep 0.1; done
    [ -s display.txt ] || fail "Xvfb did not start"
    export DISPLAY=":$(head -n1 display.txt)"
}

hash_frames() {
    local gif=$1 label=${2:-frame} size
    size=$(identify -format '%W %H\n' "$gif" | head -n1)
    convert "${gif}[0]" -depth 8 "${label}_000.png"
    local hashes
    hashes=$(convert "$gif" -coalesce -depth 8 rgb:- | python3 -c '
import hashlib, sys
width, height = map(int, sys.argv[1:3])
frame = width * height * 3
data = sys.stdin.buffer.read()
for i in range(len(data) // frame):
    print(hashlib.sha256(data[i * frame:(i + 1) * frame]).hexdigest())' $size)
    local n=0 hash
    # A frame equal to an earlier one (the turn comes round every 100 ticks) keeps the
    # earlier name.
    for hash in $hashes; do
        [ -n "${frame_of_hash[$hash]:-}" ] || frame_of_hash[$hash]=$(printf '%s_%03d' "$label" "$n")
        n=$((n + 1))
    done
    frames_hashed=$n
}

shot() {
    import -window "${2:-root}" -depth 8 "$1"
}

same() {
    [ "$(compare -metric AE "$1" "$2" null: 2>&1 || true)" = "0" ]
}

# Takes screenshots (into shot.png) until one shows a frame of hash_frames, for at most the
# frames' time less 0.2 s after the first drawn screenshot (the frames last 20 ms each; a
# loaded machine draws them later, never sooner) and at most LIMIT_S seconds in all. A
# screenshot of one colour is not yet drawn; one taken mid-update matches nothing; the next
# one is taken.
match_screen() {
    local pid=$1 limit_s=${2:-20} window=${3:-root} label=${4:-} first_ns= now
    local window_ms=$((frames_hashed * 20 - 200))
    matched=
    first_ms=
    while :; do
        now=$(date +%s%N)
        [ $(((now - start_ns) / 1000000000)) -lt "$limit_s" ] || break
        kill -0 "$pid" 2>/dev/null || fail "the viewer ended before Escape"
        import -window "$window" -depth 8 shot.png 2>/dev/null || { sleep 0.05; continue; }
        local hash uniform
        read -r hash uniform < <(pixels_hash shot.png)
        if [ "$uniform" = 1 ]; then sleep 0.02; continue; fi
        if [ -z "$first_ns" ]; then
            first_ns=$now
            first_ms=$(((now - start_ns) / 1000000))
        fi
        local name=${frame_of_hash[$hash]:-}
        if [ -n "$name" ] && { [ -z "$label" ] || [ "${name#"${label}_"}" != "$name" ]; }; then
            matched=$name
            break
        fi
        [ $(((now - first_ns) / 1000000)) -lt "$window_ms" ] || break
    done
    [ -n "$matched" ] ||
        fail "no screenshot equals a --output frame ${label:+($label) }of the first $frames_hashed ticks"
}

# The waits: screenshots of the whole screen every tenth of a second or so.
wait_still() {
    local until=$(($(date +%s%N) + $1 * 1000000000))
    shot still.png
    while [ "$(date +%s%N)" -lt "$until" ]; do
        sleep 0.2
        shot still-next.png
        same still.png still-next.png && return 0
        mv still-next.png still.png
    done
    return 1
}

wait_equal() {
    local until=$(($(date +%s%N) + $2 * 1000000000))
    while [ "$(date +%s%N)" -lt "$until" ]; do
        shot waited.png
        same waited.png "$1" && return 0
        sleep 0.1
    done
    return 1
}

wait_change() {
    local until=$(($(date +%s%N) + $2 * 1000000000))
    while [ "$(date +%s%N)" -lt "$until" ]; do
        shot waited.png
        same waited.png "$1" || return 0
        sleep 0.1
    done
    return 1
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
