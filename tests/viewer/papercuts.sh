#!/usr/bin/env bash
# The program as a new user meets it on the command line, without a display: --json alone,
# an option given a value it does not take, a camera's name written after --camera, a scene
# with nothing to draw (said; a thumbnail of it fails), --animate on a file without animation,
# a folder of scenes for --output FOLDER/, the progress line of long work on a terminal (and
# none elsewhere), `make run`'s ARGS run where make was called, and the manuals' examples.
#
# usage: papercuts.sh TRELLIS FIXTURE_WRITER SCENE SOURCE_DIR WORK_DIR
set -euo pipefail

trellis=$1
writer=$2
scene=$3
source_dir=$4
work=$5
rm -rf "$work"
mkdir -p "$work"
cd "$work"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Runs the program with no display; sets $status, leaves stdout and stderr in out and err.
run() {
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY timeout 60 "$trellis" "$@" >out 2>err || status=$?
}

"$writer" fixture.3ds
"$writer" infinite.3ds infinite
cp "$scene" svet.3ds

# --json alone is --info --json.
run --json fixture.3ds
[ "$status" = 0 ] || fail "--json alone: status $status: $(cat err)"
"$trellis" --info --json fixture.3ds >expected.json
cmp -s out expected.json || fail "--json alone differs from --info --json"

# A value given to an option that takes none, and a camera's name after --camera.
run --info=yes fixture.3ds
[ "$status" = 2 ] && [ "$(head -n 1 err)" = "trellis: --info takes no value" ] ||
    fail "--info=yes: status $status: $(cat err)"
run --camera Camera01 -o c.png svet.3ds
[ "$status" = 2 ] && grep -q -- "write --camera=Camera01" err ||
    fail "--camera NAME: status $status: $(cat err)"
[ ! -e c.png ] || fail "--camera NAME wrote a picture"

# Nothing to draw: said, the picture written; a thumbnail of it fails with no file.
run -o infinite.png infinite.3ds
[ "$status" = 0 ] && [ -s infinite.png ] ||
    fail "--output of a scene without a finite position: status $status"
[ "$(cat err)" = "trellis: infinite.3ds: nothing to draw: none of its 4 vertex positions is finite" ] ||
    fail "--output of a scene without a finite position said: $(cat err)"
run --thumbnail 64 -o thumbnail.png infinite.3ds
[ "$status" = 1 ] && [ ! -e thumbnail.png ] ||
    fail "a thumbnail of a scene without a finite position: status $status"

# --animate on a file without animation: one frame, and a note saying why.
run --animate -o still.gif fixture.3ds
[ "$status" = 0 ] && [ -s still.gif ] || fail "--animate of a still file: status $status"
[ "$(cat err)" = "trellis: fixture.3ds: the file has no keyframe animation; it stands still" ] ||
    fail "--animate of a still file said: $(cat err)"

# --output FOLDER/ with folders among the scenes: each stands for its .3ds files.
mkdir -p scenes/more
cp fixture.3ds scenes/a.3ds
cp fixture.3ds scenes/B.3DS
cp fixture.3ds scenes/more/c.3ds
printf 'not a scene' >scenes/notes.txt
run --output thumbs/ --size 32x32 scenes/ scenes/more svet.3ds
[ "$status" = 0 ] || fail "--output FOLDER/ scenes/: status $status: $(cat err)"
for picture in a B c svet; do
    [ -s "thumbs/$picture.png" ] || fail "--output FOLDER/ scenes/: no thumbs/$picture.png"
done
[ ! -e thumbs/notes.png ] || fail "--output FOLDER/ scenes/ drew a file that is not .3ds"
mkdir -p empty
run --output thumbs2/ empty fixture.3ds
[ "$status" = 1 ] && [ -s thumbs2/fixture.png ] && grep -q "empty: the folder holds no .3ds file" err ||
    fail "--output FOLDER/ with an empty folder: status $status: $(cat err)"

# The progress line: on a terminal once the work has lasted a second, never elsewhere. The
# bundled scene, not the one-triangle fixture: a million ticks of a triangle end within seconds
# on a fast machine, while the scene's take more than a minute anywhere.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY timeout 4 "$trellis" --frames 1000000 --size 16x16 \
    -o long.png svet.3ds 2>long.err || status=$?
[ "$status" = 124 ] || fail "a million ticks ended within 4 s (status $status)"
[ ! -s long.err ] || fail "progress was written where stderr is no terminal: $(cat long.err)"
if command -v script >/dev/null; then
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY timeout 6 script -qec \
        "timeout 4 '$trellis' --frames 1000000 --size 16x16 -o long.png svet.3ds" \
        /dev/null >terminal.out 2>&1 || status=$?
    grep -q 'trellis: frame [0-9]* of 1000000 ([0-9]*%)' terminal.out ||
        fail "no progress line on a terminal: $(tr '\r' '\n' <terminal.out | tail -n 3)"
fi

# make run: ARGS run where make was called, relative paths there; no display: headless.
mkdir -p caller assets runs
cat >fake-trellis <<'EOF'
#!/bin/sh
echo "$(pwd): $*"
EOF
chmod +x fake-trellis
runner=$source_dir/scripts/run-viewer
expect_run() {
    local expected=$1
    shift
    local said
    said=$(env -u DISPLAY -u WAYLAND_DISPLAY "$runner" "$PWD/fake-trellis" "$PWD/assets" \
        "$PWD/runs" "$PWD/caller" "$@" | grep -v '^make run')
    [ "$said" = "$expected" ] || fail "make run $*: ran '$said', not '$expected'"
}
expect_run "$PWD/assets: --output $PWD/runs/svet.gif"
expect_run "$PWD/caller: --output $PWD/runs/run.gif --animate rel.3ds" -w --animate rel.3ds
expect_run "$PWD/caller: --info rel.3ds" --info rel.3ds

# The manuals: find names .3ds files in any case; the man page says each thing once.
grep -n -- "-name '\*.3ds'" "$source_dir/README.md" "$source_dir/man/trellis.1" &&
    fail "a find in the manuals misses .3DS files"
[ "$(grep -c 'every mesh turning' "$source_dir/man/trellis.1")" = 1 ] ||
    fail "the man page repeats its description"

if [ "$failures" != 0 ]; then
    echo "$failures failures" >&2
    exit 1
fi
echo "every case passed"
