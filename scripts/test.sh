#!/bin/sh
# The whole test suite, for both bitnesses: installs what is missing, builds both,
# then runs the 32-bit build's tests in its 32-bit Wine prefix and the 64-bit
# build's tests in its 64-bit prefix, where the 32-bit programs run too (the test
# of both drivers side by side). Exits non-zero on any failure.
# Extra arguments go to both ctest runs; VELTRIX_ARCH=x86 or x64 runs only one.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELTRIX_BUILD_DIR:-$root/build}
arches=${VELTRIX_ARCH:-x86 x64}
"$root/scripts/setup.sh"
# The 64-bit run needs the 32-bit build too (both drivers side by side).
case " $arches " in *" x64 "*) builds="x86 x64" ;; *) builds=$arches ;; esac
VELTRIX_BUILD_DIR=$build VELTRIX_ARCH=$builds "$root/scripts/build.sh"
status=0
failed=""
for arch in $arches; do
    case "$arch" in
    x86) dir=$build; what="32-bit build in its 32-bit prefix" ;;
    x64) dir=$build-x64; what="64-bit build in its 64-bit prefix, with the 32-bit programs beside it" ;;
    esac
    echo "test: running the test suite under Wine: the $what..."
    start=$(date +%s)
    # The two runs one after the other: the timing-sensitive tests of one must not
    # share the machine with the other's.
    if (cd "$dir" && ctest --output-on-failure -j2 "$@"); then :; else status=1; failed="$failed $arch"; fi
    echo "test: the $arch run took $(( $(date +%s) - start )) s"
done
if [ $status -ne 0 ]; then
    echo "test: FAILED in the run(s):$failed (the failing tests are listed above)"
else
    echo "test: all passed ($arches)"
fi
exit $status
