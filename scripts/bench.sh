#!/bin/sh
# The benchmark: builds, then measures the stream against the virtual controller
# in the build's private Wine prefix and prints what it found. Takes a good minute
# and a half; arguments go to kmx_bench (--minute SECONDS --jitter SECONDS).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELTRIX_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
VELTRIX_BUILD_DIR=$build "$root/scripts/build.sh"
prefix=$build/wineprefix
sh "$root/cmake/wine-prefix.sh" start "$prefix"
trap 'sh "$root/cmake/wine-prefix.sh" stop "$prefix"' EXIT
"$build/wine-run.sh" "$build/bin/kmx_bench.exe" "$@"
