#!/bin/sh
# Both drivers in one 64-bit prefix, as on a user's 64-bit Windows with the package
# installed: each test-fixture DLL registered by the regsvr32 of its own bitness
# (system32 holds the 64-bit one, syswow64 the 32-bit one), so the same class ID
# and ASIO list entry exist once in each registry view. Then:
#   - the 64-bit host finds the driver in its list and streams through the 64-bit
#     DLL, every loopback sample exact; the 32-bit host does the same through the
#     32-bit DLL, from the 32-bit view of the same prefix;
#   - unregistering either one takes it from its own view only: the other host
#     still finds and streams through its driver.
#   both_bitnesses.sh <64-bit build dir> <32-bit build dir>
# Runs in the 64-bit build's prefix (through its wine-run.sh) and cleans up the
# registrations and the settings the hosts leave.
set -u
x64=$1
x86=$2
run="$x64/wine-run.sh"
regsvr64='C:\windows\system32\regsvr32.exe'
regsvr32='C:\windows\syswow64\regsvr32.exe'
classId='{3C71A0E2-58B4-4D0F-9A26-1E7B40C8D5F3}'
status=0
# Each test-fixture DLL simulates its default controller, a KMX-B7.
unset VELTRIX_VIRTUAL_CONTROLLER

for file in "$x64/virtual/Veltrix_KMX_ASIO.dll" "$x64/bin/kmx_asio_host.exe" \
            "$x86/virtual/Veltrix_KMX_ASIO.dll" "$x86/bin/kmx_asio_host.exe"; do
    if [ ! -f "$file" ]; then
        printf '%s\n' "FAIL: $file is missing; build both trees first (scripts/build.sh)"
        exit 1
    fi
done
dll64=$("$run" winepath -w "$x64/virtual/Veltrix_KMX_ASIO.dll" 2>/dev/null)
dll32=$("$run" winepath -w "$x86/virtual/Veltrix_KMX_ASIO.dll" 2>/dev/null)

log=$(mktemp)
cleanup() {
    rm -f "$log"
    "$run" "$regsvr64" /s /u "$dll64" 2>/dev/null
    "$run" "$regsvr32" /s /u "$dll32" 2>/dev/null
    "$run" reg delete 'HKCU\Software\Veltrix KMX ASIO' /f >/dev/null 2>&1
}
trap cleanup EXIT

# regsvr <bits> <register|unregister>
regsvr() {
    if [ "$1" = 64 ]; then exe=$regsvr64; dll=$dll64; else exe=$regsvr32; dll=$dll32; fi
    if [ "$2" = unregister ]; then flag=/u; else flag=; fi
    if "$run" "$exe" /s $flag "$dll"; then
        printf '%s\n' "ok: $2ed the $1-bit driver with $exe"
    else
        printf '%s\n' "FAIL: $exe /s $flag $dll exited with $?"
        status=1
    fi
}

# run_host <bits>: runs that bitness's host for a second; sets output and code.
run_host() {
    if [ "$1" = 64 ]; then host="$x64/bin/kmx_asio_host.exe"; else host="$x86/bin/kmx_asio_host.exe"; fi
    "$run" "$host" --seconds 1 >"$log" 2>&1
    code=$?
    # Windows programs end their lines with CR LF.
    output=$(tr -d '\r' <"$log")
}

# streamed_exactly <bits> <dll>: the list entry names this bitness's file, that
# file served the object, and both loopback inputs came back sample for sample.
streamed_exactly() {
    [ $code -eq 0 ] &&
        printf '%s\n' "$output" | grep -F 'Veltrix KMX ASIO' | grep -qiF "$2" &&
        printf '%s\n' "$output" | grep -qiF "driver file: $2 (in this $1-bit host)" &&
        [ "$(printf '%s\n' "$output" | grep -c ', 0 broken, 0 silent, .*(continuous)$')" = 2 ] &&
        printf '%s\n' "$output" | grep -qx '  result: ok'
}

# session <bits> <streams|absent>
session() {
    bits=$1
    if [ "$bits" = 64 ]; then own=$dll64; else own=$dll32; fi
    run_host "$bits"
    if [ "$2" = streams ]; then
        if ! streamed_exactly "$bits" "$own" &&
            printf '%s\n' "$output" | grep -q 'virtual controller: .*[1-9][0-9]* \(underruns\|overruns\)'; then
            # The report says the stream thread missed a deadline (this machine is
            # shared and noisy), which is not what this check is about: once more.
            printf '%s\n' "note: the $bits-bit session missed a deadline ($(printf '%s\n' "$output" |
                grep -o 'virtual controller: .*')); running it once more"
            run_host "$bits"
        fi
        if streamed_exactly "$bits" "$own"; then
            printf '%s\n' "ok: the $bits-bit host streamed through $own, loopback exact"
        else
            printf '%s\n' "FAIL: the $bits-bit host did not stream exactly through $own (exit code $code):"
            printf '%s\n' "$output" | sed 's/^/    /'
            status=1
        fi
    else
        if [ $code -ne 0 ] && ! printf '%s\n' "$output" | grep -qi "$classId"; then
            printf '%s\n' "ok: the $bits-bit host finds no driver"
        else
            printf '%s\n' "FAIL: the $bits-bit host still sees a driver (exit code $code):"
            printf '%s\n' "$output" | sed 's/^/    /'
            status=1
        fi
    fi
}

regsvr 64 register
regsvr 32 register
session 64 streams
session 32 streams

regsvr 64 unregister
session 64 absent
session 32 streams

regsvr 64 register
regsvr 32 unregister
session 32 absent
session 64 streams

exit $status
