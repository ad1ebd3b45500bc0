#!/bin/sh
# The demo: installs what is missing, builds, registers the driver in the build's
# private Wine prefix with regsvr32, and lets our ASIO host find and create it
# through the ASIO driver list and COM. Unregisters it again at the end.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELTRIX_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
VELTRIX_BUILD_DIR=$build "$root/scripts/build.sh"

prefix=$build/wineprefix
sh "$root/cmake/wine-prefix.sh" start "$prefix"
trap 'sh "$root/cmake/wine-prefix.sh" stop "$prefix"' EXIT
run="$build/wine-run.sh"
dll=$("$run" winepath -w "$build/bin/Veltrix_KMX_ASIO.dll" 2>/dev/null)

printf "demo: registering the driver: regsvr32 %s\n" "$dll"
"$run" regsvr32 /s "$dll"
status=0
"$run" "$build/bin/kmx_asio_host.exe" "Veltrix KMX ASIO" || status=$?
echo "demo: unregistering the driver"
"$run" regsvr32 /s /u "$dll"
exit $status
