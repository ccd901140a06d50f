#!/usr/bin/env bash
# The Khronos glTF validator (npm's gltf-validator, pinned by package-lock.json) over what
# `trellis --export` writes: the export's fixtures and the fuzzer's seed scenes (written by
# write_gltf_fixtures), the bundled scene and the part of tools/make_part, as .glb and as
# .gltf. Any validator error fails the test. Skipped (status 77) where node is missing.
#
# usage: validate_exports.sh TRELLIS WRITE_FIXTURES MAKE_PART BUNDLED_SCENE WORKDIR
set -euo pipefail
trellis=$1 write_fixtures=$2 make_part=$3 bundled=$4 work=$5
here=$(cd "$(dirname "$0")" && pwd)

if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
    echo "validate_exports: SKIPPED: node and npm are needed for the glTF validator" \
         "(scripts/install-deps installs them)"
    exit 77
fi

mkdir -p "$work/validator" "$work/scenes" "$work/exports"
# The validator, installed once per lock file.
if ! cmp -s "$here/package-lock.json" "$work/validator/package-lock.json" ||
   [ ! -d "$work/validator/node_modules/gltf-validator" ]; then
    cp "$here/package.json" "$here/package-lock.json" "$here/validate.js" "$work/validator/"
    (cd "$work/validator" && npm ci --no-audit --no-fund --loglevel=error)
fi
cp "$here/validate.js" "$work/validator/"

rm -f "$work"/scenes/* "$work"/exports/*
"$write_fixtures" "$work/scenes"
"$make_part" "$work/scenes/part.3ds" >/dev/null
cp "$bundled" "$work/scenes/svet.3ds"

# Every scene into one folder of .glb files (the folder form), and each as .gltf too.
"$trellis" --export "$work/exports/" "$work"/scenes/*.3ds 2>"$work/notes.txt" ||
    { cat "$work/notes.txt"; echo "validate_exports: an export failed"; exit 1; }
for scene in "$work"/scenes/*.3ds; do
    name=$(basename "$scene" .3ds)
    "$trellis" --export "$work/exports/$name.gltf" "$scene" 2>>"$work/notes.txt"
done
node "$work/validator/validate.js" "$work"/exports/*.glb "$work"/exports/*.gltf
