#!/usr/bin/env bash
# The SDL backend is a module (trellis-sdl.so) that only the viewer loads.
#
# usage: sdl_module_test.sh windowless|missing TRELLIS FIXTURE_WRITER WORK_DIR MODULE MODULE_DIR
#   windowless  --version, --help, --info, --chunks and --output map no display or sound
#               library, and --info and --output work the same with no module to be found
#   missing     the viewer without a loadable module exits 3 with one line saying why, and
#               finds the module in the installed layout: MODULE_DIR, relative to the
#               program's directory
set -euo pipefail

mode=$1
trellis=$2
writer=$3
work=$4
module=${5:-}
module_dir=${6:-}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work/alone"
cd "$work"
"$writer" scene.3ds
# The program alone in a directory, with no module beside it or in ../lib.
cp "$trellis" alone/trellis
# The X and D-Bus client libraries are never loaded here, but the sanitizer runtime may
# still report the dynamic linker's own allocations.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"

# Runs the program under LD_DEBUG=libs; fails when it loads any display or sound library.
expect_no_display_libraries() {
    local name=$1
    shift
    local status=0
    LD_DEBUG=libs LD_DEBUG_OUTPUT="$work/$name.ld" "$@" >"$name.out" 2>"$name.err" ||
        status=$?
    [ "$status" = 0 ] || fail "$name: status $status: $(cat "$name.err")"
    local loaded
    loaded=$(cat "$work/$name.ld".* | grep -E 'file=' | sed 's/.*file=\([^ ]*\).*/\1/' | sort -u)
    [ -n "$loaded" ] || fail "$name: LD_DEBUG reported no library at all"
    local display
    display=$(echo "$loaded" |
        grep -E 'trellis-sdl|libSDL|libX|libxcb|libwayland|libdecor|libxkb|libdrm|libgbm|libGL|libEGL|libpulse|libasound|libsndfile|libdbus' ||
        true)
    [ -z "$display" ] || fail "$name loaded display or sound libraries: $display"
    rm -f "$work/$name.ld".*
}

case "$mode" in
    windowless)
        expect_no_display_libraries version "$trellis" --version
        expect_no_display_libraries help "$trellis" --help
        expect_no_display_libraries info "$trellis" --info scene.3ds
        expect_no_display_libraries chunks "$trellis" --chunks scene.3ds
        expect_no_display_libraries png "$trellis" --output frame.png scene.3ds
        expect_no_display_libraries gif "$trellis" --output turn.gif --frames 3 scene.3ds

        # Without the module: the same report and the same image.
        "$trellis" --info scene.3ds >info.expected
        alone/trellis --info scene.3ds >info.alone || fail "--info without the module failed"
        cmp -s info.expected info.alone || fail "--info differs without the module"
        alone/trellis --output alone.png scene.3ds || fail "--output without the module failed"
        cmp -s frame.png alone.png || fail "--output differs without the module"
        echo "windowless runs load no display or sound library and need no module"
        ;;
    missing)
        # DISPLAY names a screen that need not exist: the module is looked for first.
        export DISPLAY="${DISPLAY:-:0}"
        # name of the case | the module file beside the program | the reason expected
        cases=(
            "no module|-|cannot load trellis-sdl.so: not found in $work/alone or $work/alone/../lib/trellis"
            "not a shared object|text|cannot load $work/alone/trellis-sdl.so: "
            "another library|library|cannot load $work/alone/trellis-sdl.so: not a display module of this build of trellis"
        )
        for entry in "${cases[@]}"; do
            IFS='|' read -r name beside reason <<<"$entry"
            rm -f alone/trellis-sdl.so
            case "$beside" in
                text) echo "not a module" >alone/trellis-sdl.so ;;
                library)
                    library=$(ldd "$trellis" | awk '/libz\.so/ { print $3 }')
                    [ -n "$library" ] || fail "no libz beside which to test"
                    cp "$library" alone/trellis-sdl.so
                    ;;
            esac
            status=0
            alone/trellis scene.3ds >viewer.out 2>viewer.err || status=$?
            [ "$status" = 3 ] || fail "$name: status $status, expected 3: $(cat viewer.err)"
            [ "$(wc -l <viewer.err)" = 1 ] || fail "$name: stderr was: $(cat viewer.err)"
            grep -qF "trellis: no display: $reason" viewer.err ||
                fail "$name: stderr was: $(cat viewer.err)"
            echo "$name: status 3: $(cat viewer.err)"
        done

        # The installed layout: the module is found and loaded, and SDL itself says why it
        # has no display (a video driver that does not exist).
        [ -n "$module" ] && [ -n "$module_dir" ] || fail "missing: MODULE and MODULE_DIR are needed"
        mkdir -p installed/bin "installed/bin/$module_dir"
        cp "$trellis" installed/bin/trellis
        cp "$module" "installed/bin/$module_dir/"
        status=0
        SDL_VIDEODRIVER=no-such-driver installed/bin/trellis scene.3ds >viewer.out 2>viewer.err ||
            status=$?
        [ "$status" = 3 ] || fail "installed: status $status, expected 3: $(cat viewer.err)"
        ! grep -q "cannot load" viewer.err || fail "installed: $(cat viewer.err)"
        grep -q "^trellis: no display: " viewer.err || fail "installed: $(cat viewer.err)"
        echo "installed layout: the module loads; $(cat viewer.err)"
        ;;
    *)
        fail "unknown mode $mode"
        ;;
esac
