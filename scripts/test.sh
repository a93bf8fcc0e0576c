#!/usr/bin/env bash
# Installs what is missing, builds the Debian package (a Release build of its own) and everything
# with AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test (the end-to-end ones
# on a virtual X display; the package's install test only as root).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh" test

# The tree's own rules first: formatting, and includes that point down the layer order.
"$top/tools/dev/check-format"
"$top/tools/dev/check-layers"

package_build="${SM_PACKAGE_BUILD_DIR:-$top/build-package}"
SM_PACKAGE_BUILD_DIR="$package_build" "$top/scripts/package.sh"

build="${SM_TEST_BUILD_DIR:-$top/build-test}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSM_SANITIZE=ON -DSM_WERROR=ON \
    -DSM_PACKAGE_BUILD_DIR="$package_build" >/dev/null
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export LSAN_OPTIONS="suppressions=$top/tests/support/lsan.supp:print_suppressions=0"
cd "$build"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest -j"$(nproc)" --output-on-failure --timeout 300
