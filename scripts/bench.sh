#!/bin/sh
# The benchmark: builds, then measures the stream against the virtual controller
# in the build's private Wine prefix and prints what it found. Takes a good minute
# and a half; arguments go to kmx_bench (--minute SECONDS --jitter SECONDS).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELTRIX_BUILD_DIR:-$root/build}
# VELTRIX_ARCH=x64: the 64-bit build in its 64-bit prefix instead of the 32-bit one.
arch=${VELTRIX_ARCH:-x86}
case "$arch" in
x86) wineArch=win32 ;;
x64) wineArch=win64 ;;
*) echo "bench: VELTRIX_ARCH must be x86 or x64, not '$arch'" >&2; exit 2 ;;
esac
"$root/scripts/setup.sh"
VELTRIX_BUILD_DIR=$build VELTRIX_ARCH=$arch "$root/scripts/build.sh"
if [ "$arch" = x64 ]; then build=$build-x64; fi
prefix=$build/wineprefix
sh "$root/cmake/wine-prefix.sh" start "$prefix" "$wineArch"
trap 'sh "$root/cmake/wine-prefix.sh" stop "$prefix"' EXIT
"$build/wine-run.sh" "$build/bin/kmx_bench.exe" "$@"
