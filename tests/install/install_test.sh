#!/usr/bin/env bash
# Checks an installed tree: the program, the desktop files, the library with its public
# headers (each compiles on its own, nothing of the platform layer, the display or the
# shell), the CMake package and trellis.pc. Then the example program is built against it,
# once through find_package(Trellis) and once through pkg-config, and both builds must print
# the bundled scene's meshes as expected.
#
# usage: install_test.sh --build BUILD_DIR SOURCE_DIR WORK_DIR CXX [SANITIZERS]
#          installs BUILD_DIR into WORK_DIR/prefix first (the test of `make test`)
#        install_test.sh --prefix PREFIX SOURCE_DIR WORK_DIR CXX [SANITIZERS]
#          checks a tree installed already (the unpacked package's usr/, in CI)
#        install_test.sh --library BUILD_DIR SOURCE_DIR WORK_DIR CXX [SANITIZERS]
#          configures SOURCE_DIR into BUILD_DIR as the library alone (TRELLIS_VIEWER=OFF)
#          with SDL, libpng, giflib and nlohmann_json out of CMake's sight, builds it and
#          installs it into WORK_DIR/prefix: the library's files and nothing of the viewer
set -euo pipefail
mode=$1 tree=$2 source=$3 work=$4 cxx=$5 sanitize=${6:-}
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

case "$mode" in
    --build)
        prefix=$work/prefix
        cmake --install "$tree" --prefix "$prefix" >"$work/install.log"
        ;;
    --prefix) prefix=$(cd "$tree" && pwd) ;;
    --library)
        prefix=$work/prefix
        cmake -S "$source" -B "$tree" -G Ninja --no-warn-unused-cli -DCMAKE_CXX_COMPILER="$cxx" \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRELLIS_VIEWER=OFF -DBUILD_TESTING=OFF \
            -DTRELLIS_BENCH=OFF -DTRELLIS_WERROR=ON \
            -DCMAKE_DISABLE_FIND_PACKAGE_SDL2=ON -DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON \
            -DCMAKE_DISABLE_FIND_PACKAGE_GIF=ON -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=ON \
            >"$work/configure.log" || fail "configuring the library alone failed (see $work/configure.log)"
        cmake --build "$tree" -j 2 >"$work/build.log" ||
            fail "building the library alone failed (see $work/build.log)"
        cmake --install "$tree" --prefix "$prefix" >"$work/install.log"
        ;;
    *)
        echo "usage: install_test.sh --build BUILD_DIR|--prefix PREFIX|--library BUILD_DIR SOURCE_DIR WORK_DIR CXX [SANITIZERS]" >&2
        exit 2
        ;;
esac

# What a developer needs: the library, its headers, its CMake package and trellis.pc ...
libdir=$(dirname "$(find "$prefix" -name libtrellis.a | head -n 1)")
[ -f "$libdir/libtrellis.a" ] || fail "libtrellis.a is not installed"
for f in include/trellis/math/matrix.h include/trellis/scene/records.h \
    include/trellis/scene/loader.h include/trellis/scene/derived.h \
    include/trellis/render/wireframe.h include/trellis/export/gltf.h; do
    [ -f "$prefix/$f" ] || fail "$f is not installed"
done
for f in cmake/Trellis/TrellisConfig.cmake cmake/Trellis/TrellisConfigVersion.cmake \
    cmake/Trellis/TrellisTargets.cmake pkgconfig/trellis.pc; do
    [ -f "$libdir/$f" ] || fail "${libdir#"$prefix"/}/$f is not installed"
done
# ... and what a user needs: the program, the SDL module it loads for a window, its desktop
# files; none of them in the library alone.
viewer_files=(bin/trellis "${libdir#"$prefix"/}/trellis/trellis-sdl.so"
    share/applications/trellis.desktop share/mime/packages/trellis.xml
    share/thumbnailers/trellis.thumbnailer share/icons/hicolor/48x48/apps/trellis.png
    share/icons/hicolor/128x128/apps/trellis.png share/icons/hicolor/256x256/apps/trellis.png
    share/man/man1/trellis.1.gz share/doc/trellis/copyright share/doc/trellis/changelog.gz
    share/trellis/svet.3ds share/trellis/jade.png)
for f in "${viewer_files[@]}"; do
    if [ "$mode" = --library ]; then
        [ ! -e "$prefix/$f" ] || fail "$f is installed with the library alone"
    else
        [ -f "$prefix/$f" ] || fail "$f is not installed"
    fi
done
if [ "$mode" != --library ]; then
    gzip -t "$prefix/share/man/man1/trellis.1.gz" || fail "the man page is not gzip"
fi

# Nothing else of the build: no other archive, no platform, display or shell header, no
# header that only the core's sources use.
extra=$(find "$prefix" -name '*.a' ! -name libtrellis.a)
[ -z "$extra" ] || fail "archives other than libtrellis.a are installed: $extra"
for d in platform display app; do
    [ ! -e "$prefix/include/trellis/$d" ] || fail "include/trellis/$d is installed"
done
internal=$(find "$prefix/include" -name '*_internal.h' -o -name 'line_stepper.h' \
    -o -name 'address_sanitizer.h' -o -name 'json_writer.h')
[ -z "$internal" ] || fail "internal headers are installed: $internal"

flags=()
if [ -n "$sanitize" ]; then flags+=("-fsanitize=$sanitize"); fi
export PKG_CONFIG_PATH=$libdir/pkgconfig

# Every installed header compiles alone, included as the documentation shows.
read -r -a cflags <<<"$(pkg-config --cflags trellis)"
while IFS= read -r header; do
    name=${header#"$prefix/include/"}
    printf '#include <%s>\n' "$name" >"$work/one_header.cpp"
    "$cxx" -std=c++20 -fsyntax-only "${cflags[@]}" "$work/one_header.cpp" ||
        fail "$name does not compile on its own"
done < <(find "$prefix/include/trellis" -name '*.h' | sort)

# The example, through CMake ...
cmake -S "$source/examples" -B "$work/example-cmake" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_FLAGS="${flags[*]}" >"$work/example-cmake.log" ||
    fail "configuring the example with find_package(Trellis) failed (see $work/example-cmake.log)"
cmake --build "$work/example-cmake" >>"$work/example-cmake.log" ||
    fail "building the example through CMake failed (see $work/example-cmake.log)"
# ... and through pkg-config.
read -r -a libs <<<"$(pkg-config --libs trellis)"
"$cxx" -std=c++20 "${flags[@]}" "${cflags[@]}" "$source/examples/print_meshes.cpp" \
    "${libs[@]}" -o "$work/print_meshes_pc" || fail "building the example through pkg-config failed"

expected=$source/tests/install/print_meshes_svet.txt
for program in "$work/example-cmake/print_meshes" "$work/print_meshes_pc"; do
    (cd "$source/assets" && "$program" svet.3ds) >"$work/out.txt" || fail "$program failed"
    diff -u "$expected" "$work/out.txt" || fail "$program printed the wrong meshes"
    printf 'MM\003\000\000\000' >"$work/broken.3ds"  # a main chunk shorter than its header
    status=0
    "$program" "$work/broken.3ds" >/dev/null 2>"$work/err.txt" || status=$?
    [ "$status" -eq 1 ] || fail "$program exits $status on a broken file, not 1"
done
echo "install test: all checks passed"
