#!/bin/sh
# The whole test suite: installs what is missing, builds, and runs every test under
# Wine in the build's private prefix. Exits non-zero on any failure.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELTRIX_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
VELTRIX_BUILD_DIR=$build "$root/scripts/build.sh"
echo "test: running the test suite under Wine..."
cd "$build"
ctest --output-on-failure -j2 "$@"
