#!/usr/bin/env bash
# Builds the Debian package: a Release build for /usr without the tests, compiled with Debian's
# hardening flags and packed by cpack. Installs what is missing first. Prints the package's path.
# The build folder is $SM_PACKAGE_BUILD_DIR, or build-package/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh" package

build="${SM_PACKAGE_BUILD_DIR:-$top/build-package}"
if [ ! -f "$build/CMakeCache.txt" ]; then
    # Stack protector, fortified functions, read-only relocations, immediate binding. No -g:
    # the package's binaries are stripped.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
    CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
    LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
    CFLAGS=${CFLAGS//-g /} CXXFLAGS=${CXXFLAGS//-g /}
    export CFLAGS CXXFLAGS LDFLAGS
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSM_BUILD_TESTS=OFF \
        -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
fi
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/servermonitor_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/servermonitor_*.deb
