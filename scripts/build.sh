#!/bin/sh
# Configures and builds the package into build/ (or $VELTRIX_BUILD_DIR).
# Sourced by test.sh and demo.sh after setup.sh.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELTRIX_BUILD_DIR:-$root/build}
if [ ! -f "$build/build.ninja" ]; then
    echo "build: configuring into $build..."
    cmake -S "$root" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRIX_WERROR=ON >/dev/null
fi
echo "build: compiling..."
cmake --build "$build" -- -j"$(nproc)" | grep -v '^\[' || true
# A failed build must stop the caller, not only print.
cmake --build "$build" >/dev/null
