#!/usr/bin/env bash
# Checks the Debian package that `make package` built: lintian finds no error (its warnings
# are printed); the package unpacked into a scratch root with dpkg-deb -x; the unpacked
# program's --info on the bundled scene; the unpacked tree under the install test (files,
# headers, the example built through CMake and pkg-config) and the desktop test (desktop
# files under their tools, the thumbnailer on good and broken files).
#
# usage: check_package.sh DEB WORK_DIR
set -euo pipefail
deb=$1 work=$2
source=$(cd "$(dirname "$0")/.." && pwd)
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

echo "== lintian $(basename "$deb")"
status=0
lintian --fail-on error --info "$deb" >"$work/lintian.txt" 2>&1 || status=$?
grep -v '^running with root privileges' "$work/lintian.txt" || true
if [ "$status" -ne 0 ]; then
    echo "check_package: lintian reports errors" >&2
    exit 1
fi

echo "== dpkg-deb -x into $work/root"
dpkg-deb -x "$deb" "$work/root"
"$work/root/usr/bin/trellis" --info "$source/assets/svet.3ds"
"$work/root/usr/bin/trellis" --info "$work/root/usr/share/trellis/svet.3ds" >/dev/null

echo "== the unpacked tree"
"$source/tests/install/install_test.sh" --prefix "$work/root/usr" "$source" "$work/install" c++
"$source/tests/install/desktop_test.sh" "$work/root/usr/bin/trellis" "$work/root/usr/share" \
    "$source/assets/svet.3ds" "$work/desktop"
echo "check_package: $(basename "$deb") passed"
