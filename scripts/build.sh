#!/bin/sh
# Configures and builds the package for both bitnesses: the 32-bit build into
# build/ (or $VELTRIX_BUILD_DIR), the 64-bit build beside it into build-x64/
# ($VELTRIX_BUILD_DIR-x64). VELTRIX_ARCH=x86 or x64 builds only that one.
# Called by test.sh, demo.sh and bench.sh after setup.sh.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELTRIX_BUILD_DIR:-$root/build}
arches=${VELTRIX_ARCH:-x86 x64}
for arch in $arches; do
    case "$arch" in
    x86) dir=$build; triple=i686-w64-mingw32; extra= ;;
    # The 64-bit build's test of both bitnesses uses the 32-bit build's files.
    x64) dir=$build-x64; triple=x86_64-w64-mingw32; extra=-DVELTRIX_X86_BUILD_DIR=$build ;;
    *) echo "build: VELTRIX_ARCH must be x86, x64 or both, not '$arch'" >&2; exit 2 ;;
    esac
    if [ ! -f "$dir/build.ninja" ] ||
        { [ -n "$extra" ] && ! grep -qxF "VELTRIX_X86_BUILD_DIR:PATH=$build" "$dir/CMakeCache.txt"; }; then
        echo "build: configuring the $arch build into $dir..."
        cmake -S "$root" -B "$dir" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$triple.cmake" \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRIX_WERROR=ON $extra >/dev/null
    fi
    echo "build: compiling the $arch build..."
    cmake --build "$dir" -- -j"$(nproc)" | grep -v '^\[' || true
    # A failed build must stop the caller, not only print.
    cmake --build "$dir" >/dev/null
done
