#!/bin/sh
# The demo: installs what is missing, builds, registers the test-fixture flavour of
# the driver (the driver's code with a virtual KMX controller in place of the real
# one) in the build's private Wine prefix with regsvr32, and runs a session of our
# ASIO host against it: the host finds the driver through the ASIO driver list and
# COM, streams a test signal through the controller's loopback and reports.
#
#   scripts/demo.sh [host options]     e.g. --seconds 10 --buffer 64 --kernel-buffers 2
#
# VELTRIX_VIRTUAL_CONTROLLER configures the virtual controller (see README.md), for
# example "KMX-NOVA" or "KMX-B7;unplug=2/3.5" to pull the cable for a moment.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELTRIX_BUILD_DIR:-$root/build}
# VELTRIX_ARCH=x64: the 64-bit build in its 64-bit prefix instead of the 32-bit one.
arch=${VELTRIX_ARCH:-x86}
case "$arch" in
x86) wineArch=win32 ;;
x64) wineArch=win64 ;;
*) echo "demo: VELTRIX_ARCH must be x86 or x64, not '$arch'" >&2; exit 2 ;;
esac
"$root/scripts/setup.sh"
VELTRIX_BUILD_DIR=$build VELTRIX_ARCH=$arch "$root/scripts/build.sh"
if [ "$arch" = x64 ]; then build=$build-x64; fi

prefix=$build/wineprefix
sh "$root/cmake/wine-prefix.sh" start "$prefix" "$wineArch"
run="$build/wine-run.sh"
dll=$("$run" winepath -w "$build/virtual/Veltrix_KMX_ASIO.dll" 2>/dev/null)
cleanup() {
    printf 'demo: unregistering the test-fixture driver\n'
    "$run" regsvr32 /s /u "$dll" || true
    sh "$root/cmake/wine-prefix.sh" stop "$prefix"
}
trap cleanup EXIT

printf 'demo: registering the test-fixture driver: regsvr32 %s\n' "$dll"
"$run" regsvr32 /s "$dll"
if [ $# -eq 0 ]; then set -- --seconds 4; fi
"$run" "$build/bin/kmx_asio_host.exe" "$@"
