#!/usr/bin/env bash
# The desktop files, each checked by its freedesktop tool, and the
# thumbnailer's Exec line run as a file manager runs it: %s, %i and %o substituted word by
# word, the program found on PATH. A good scene gives a PNG of the asked size; a file that
# does not load gives exit status 1 and no file at all.
#
# usage: desktop_test.sh TRELLIS FILES_DIR SCENE WORK_DIR
#   FILES_DIR holds trellis.desktop, trellis.xml and trellis.thumbnailer (packaging/ of the
#   source, or share/ of an installed tree); SCENE is a good scene (the bundled one).
# Exits 77 (skipped) when desktop-file-validate, xmllint or update-mime-database is missing.
set -euo pipefail
trellis=$1 files=$2 scene=$3 work=$4
# The source keeps the three files side by side; an installed tree where the tools look.
if [ -f "$files/trellis.desktop" ]; then
    desktop=$files/trellis.desktop mime=$files/trellis.xml entry=$files/trellis.thumbnailer
else
    desktop=$files/applications/trellis.desktop mime=$files/mime/packages/trellis.xml
    entry=$files/thumbnailers/trellis.thumbnailer
fi
for tool in desktop-file-validate xmllint update-mime-database; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: $tool is missing (scripts/install-deps installs it)"
        exit 77
    fi
done
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

desktop-file-validate "$desktop" || fail "trellis.desktop is not valid"
grep -qx 'Exec=trellis -- %F' "$desktop" || fail "trellis.desktop: Exec line"

# The MIME type: well-formed, and update-mime-database turns it into the glob and the magic.
xmllint --noout "$mime" || fail "trellis.xml is not well-formed"
mkdir -p "$work/mime/packages"
cp "$mime" "$work/mime/packages/"
update-mime-database "$work/mime" 2>"$work/mime.log" || fail "update-mime-database failed"
if grep -qi -e error -e warning "$work/mime.log"; then
    cat "$work/mime.log" >&2
    fail "update-mime-database complains about trellis.xml"
fi
[ -f "$work/mime/image/x-3ds.xml" ] || fail "no image/x-3ds type after update-mime-database"
grep -q ':image/x-3ds:\*\.3ds$' "$work/mime/globs2" || fail "no *.3ds glob"
grep -q 'image/x-3ds' "$work/mime/magic" || fail "no magic for image/x-3ds"

# The thumbnailer entry, run as a file manager would.
grep -qx '\[Thumbnailer Entry\]' "$entry" || fail "no [Thumbnailer Entry] group"
grep -qx 'MimeType=image/x-3ds;' "$entry" || fail "the thumbnailer names no image/x-3ds"
exec_line=$(sed -n 's/^Exec=//p' "$entry")
read -r -a words <<<"$exec_line"
export PATH="$(dirname "$trellis"):$PATH"

# Runs the Exec line for INPUT at SIZE into OUTPUT; sets `status`.
run_thumbnailer() {
    local input=$1 size=$2 output=$3 argv=() word
    for word in "${words[@]}"; do
        word=${word//%s/$size}
        word=${word//%i/$input}
        word=${word//%o/$output}
        argv+=("$word")
    done
    status=0
    "${argv[@]}" 2>>"$work/thumbnailer.log" || status=$?
}

# The width and height in a PNG's header.
png_size() {
    od -An -tu1 -j16 -N8 "$1" |
        awk '{ printf "%dx%d\n", $1 * 16777216 + $2 * 65536 + $3 * 256 + $4,
                                 $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }'
}

cp "$scene" "$work/a scene.3ds"  # a blank in the name, as file names have
# GNOME names the output .png; another file manager may not: the size and format hold.
for size in 128 256; do
    out=$work/thumb-$size
    [ "$size" = 128 ] && out=$out.png
    run_thumbnailer "$work/a scene.3ds" "$size" "$out"
    [ "$status" -eq 0 ] || fail "the thumbnailer exits $status on the bundled scene"
    [ "$(head -c 8 "$out" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "$out is no PNG"
    [ "$(png_size "$out")" = "${size}x$size" ] || fail "thumbnail $out is not ${size}x$size"
done

# A file whose name looks like an option is still the scene ("--" ends the options): no
# picture appears under the name the option would have given.
cp "$scene" "$work/-oevil.png"
cd "$work"
run_thumbnailer "-oevil.png" 128 "thumb-dash.png"
cd - >/dev/null
[ "$status" -eq 0 ] || fail "the thumbnailer exits $status on a scene named -oevil.png"
[ "$(png_size "$work/thumb-dash.png")" = 128x128 ] || fail "no thumbnail of -oevil.png"
[ ! -e "$work/evil.png" ] || fail "-oevil.png was read as an option"

# Files that do not load: no main chunk at all, an empty file, a main chunk shorter than its
# header, a folder, a file that is not there.
printf 'plain text, no scene' >"$work/text.3ds"
: >"$work/empty.3ds"
printf 'MM\003\000\000\000' >"$work/short.3ds"
mkdir -p "$work/folder.3ds"
for broken in text empty short folder missing; do
    out=$work/broken-$broken.png
    run_thumbnailer "$work/$broken.3ds" 128 "$out"
    [ "$status" -eq 1 ] || fail "the thumbnailer exits $status on $broken.3ds, not 1"
    [ ! -e "$out" ] || fail "the thumbnailer wrote $out for $broken.3ds"
done
leftover=$(find "$work" -maxdepth 1 -name 'broken-*')
[ -z "$leftover" ] || fail "files left behind: $leftover"

# Many scenes into a folder: one PNG each, named after the scene; the broken ones reported,
# skipped, and the status 1 at the end; the same name twice written once.
mkdir -p "$work/more"
cp "$scene" "$work/more/a scene.3ds"
status=0
"$trellis" --size 64x48 --output "$work/batch/" "$work/a scene.3ds" "$work/text.3ds" \
    "$work/short.3ds" "$work/missing.3ds" "$scene" "$work/more/a scene.3ds" \
    2>"$work/batch.err" || status=$?
[ "$status" -eq 1 ] || fail "the folder run exits $status with broken scenes among them, not 1"
expected=$(printf '%s\n' "a scene.png" "$(basename "${scene%.*}").png" | sort)
[ "$(ls "$work/batch" | sort)" = "$expected" ] || fail "the folder holds $(ls "$work/batch")"
[ "$(png_size "$work/batch/a scene.png")" = 64x48 ] || fail "the folder's PNG is not 64x48"
[ "$(wc -l <"$work/batch.err")" -eq 4 ] || fail "not one line for each failed scene: $(cat "$work/batch.err")"
for name in text.3ds short.3ds missing.3ds "more/a scene.3ds"; do
    grep -qF "$work/$name" "$work/batch.err" || fail "no reason given for $name"
done
echo "desktop test: all checks passed"
