#!/usr/bin/env bash
# The program as a newcomer first meets it, on a machine without a display and with wrong
# files: a missing file or a directory is reported first (one line naming it, status 1),
# before any display or output file is opened; with no display, nothing but our own line
# reaches stderr (status 3); a file that is not a 3DS file is said to be one by the viewer's
# --output (a warning on stderr), --info (its first line) and --json (a field); and "-"
# reads the scene from a pipe for --info, --chunks and --output.
#
# usage: wrong_files.sh TRELLIS SCENE WORK_DIR
set -euo pipefail

trellis=$1
scene=$2
work=$3
rm -rf "$work"
mkdir -p "$work/a-directory"
cd "$work"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Runs the program with no display of any kind: no X11, no Wayland, no runtime directory
# (libwayland complains about that one on stderr), no video driver asked for. Sets $status
# and leaves stdout and stderr in out and err.
run() {
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u WAYLAND_SOCKET -u XDG_RUNTIME_DIR -u SDL_VIDEODRIVER \
        timeout 20 "$trellis" "$@" >out 2>err || status=$?
}

# expect CASE STATUS STDERR: the status, and stderr exactly the given text (one line).
expect() {
    [ "$status" = "$2" ] || fail "$1: status $status, expected $2"
    [ "$(cat err)" = "$3" ] || fail "$1: stderr was: $(cat err)"
}

printf 'Notes on the scene\nsecond line\n' >notes.txt
# "Notes on the sce" are its first 16 bytes.
not3ds='not a 3DS file (it starts with "Notes on the sce")'
missing='No such file or directory'
directory='Is a directory'

# ---- The viewer, with no display -------------------------------------------------------
run missing.3ds
expect "viewer, missing file" 1 "trellis: missing.3ds: $missing"
run a-directory
expect "viewer, directory" 1 "trellis: a-directory: the folder holds no .3ds file"
for file in notes.txt "$scene"; do
    run "$file"
    if [ "$status" = 124 ] || [ "$status" = 0 ]; then
        echo "a display could be opened here; the no-display cases are skipped"
        break
    fi
    [ "$status" = 3 ] || fail "viewer, no display, $file: status $status, expected 3"
    [ "$(wc -l <err)" = 1 ] && grep -q '^trellis: no display: ' err ||
        fail "viewer, no display, $file: stderr was: $(cat err)"
done

# ---- --output ----------------------------------------------------------------------------
run --output missing.png missing.3ds
expect "--output, missing file" 1 "trellis: missing.3ds: $missing"
[ ! -e missing.png ] && [ ! -e missing.png.part ] || fail "--output, missing file: wrote an image"
run --output directory.png a-directory
expect "--output, directory" 1 "trellis: a-directory: $directory"
run --output notes.png notes.txt
expect "--output, not a 3DS file" 0 "trellis: notes.txt: $not3ds"
[ -s notes.png ] || fail "--output, not a 3DS file: no image"

# ---- --info and --json -----------------------------------------------------------------
run --info missing.3ds
expect "--info, missing file" 1 "trellis: missing.3ds: cannot open \"missing.3ds\": $missing"
run --info a-directory
expect "--info, directory" 1 "trellis: a-directory: cannot read \"a-directory\": $directory"
run --info notes.txt
expect "--info, not a 3DS file" 0 ""
[ "$(head -n 2 out)" = "notes.txt: $not3ds
notes.txt" ] || fail "--info, not a 3DS file: stdout began: $(head -n 2 out)"
run --info "$scene"
grep -q 'not a 3DS' out && fail "--info, the bundled scene: $(head -n 1 out)"
run --info --json notes.txt
expect "--json, not a 3DS file" 0 ""
grep -q '"is3ds": false' out && grep -qF '"warning": "not a 3DS file (it starts with \"Notes' out ||
    fail "--json, not a 3DS file: $(cat out)"
run --info --json "$scene"
grep -q '"is3ds": true' out && ! grep -q '"warning"' out || fail "--json, the bundled scene"

# ---- "-": the scene from a pipe ----------------------------------------------------------
# The same report as of the file, under the name "(stdin)". (A scene from a pipe has no
# folder of its own: its map is found in the folder given.)
maps=$(dirname "$scene")
"$trellis" --info "$scene" | sed '1s/.*/(stdin)/' >info.expected
cat "$scene" | "$trellis" --info --textures "$maps" - >info.out || fail "--info -: status $?"
cmp -s info.out info.expected || fail "--info -: $(diff info.out info.expected | head -n 5)"
"$trellis" --chunks "$scene" >chunks.expected
cat "$scene" | "$trellis" --chunks - >chunks.out || fail "--chunks -: status $?"
cmp -s chunks.out chunks.expected || fail "--chunks -: $(diff chunks.out chunks.expected | head)"
"$trellis" --output file.png --frames 7 "$scene"
cat "$scene" | "$trellis" --output pipe.png --frames 7 --textures "$maps" - ||
    fail "--output -: status $?"
cmp -s file.png pipe.png || fail "--output -: the image differs from the file's"
status=0
cat notes.txt | "$trellis" --output notes-pipe.png - 2>err || status=$?
expect "--output -, not a 3DS file" 0 "trellis: (stdin): $not3ds"
# A broken scene from a pipe fails with the loader's reason under the name "(stdin)".
printf 'MM\3\0\0\0' >short.3ds
status=0
cat short.3ds | "$trellis" --info - >/dev/null 2>err || status=$?
[ "$status" = 1 ] && grep -q '^trellis: (stdin): chunk 0x4D4D at offset 0: ' err ||
    fail "--info - of a broken scene: status $status, stderr: $(cat err)"

if [ "$failures" != 0 ]; then
    echo "$failures failures" >&2
    exit 1
fi
echo "every case passed"
