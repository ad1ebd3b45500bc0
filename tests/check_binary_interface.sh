#!/bin/sh
# Checks a built deliverable with objdump: it is a Windows file of the build's
# bitness (pei-i386 or pei-x86-64: a host loads only a DLL of its own), it imports
# system DLLs only (the compiler runtime is linked in), and a DLL exports exactly
# the COM server's entry points under their plain names (COM looks them up with
# GetProcAddress).
#   check_binary_interface.sh <objdump> <file> <file format> [export...]
set -u
objdump=$1
file=$2
format=$3
shift 3
status=0

headers=$("$objdump" -p "$file") || { echo "FAIL: $objdump -p $file"; exit 1; }

if printf '%s\n' "$headers" | grep -q "file format $format\$"; then
    echo "ok: file format $format"
else
    echo "FAIL: $file is not $format: $(printf '%s\n' "$headers" | grep -m1 'file format')"
    status=1
fi

# Windows' own DLLs; anything else (libgcc_s_*, libstdc++-*, libwinpthread-*) would
# have to be shipped beside the file.
system_dlls="kernel32.dll user32.dll gdi32.dll advapi32.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll
comctl32.dll comdlg32.dll version.dll winmm.dll setupapi.dll cfgmgr32.dll msvcrt.dll ksuser.dll"
imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for dll in $imports; do
    case " $(echo $system_dlls) " in
    *" $dll "*) echo "ok: imports $dll" ;;
    *) echo "FAIL: $file imports $dll, which is not a system DLL"; status=1 ;;
    esac
done

if [ $# -gt 0 ]; then
    # The export name table: lines like "[   0] DllCanUnloadNow".
    exports=$(printf '%s\n' "$headers" | sed -n '/Ordinal\/Name Pointer/,/^$/p' |
        sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\] //p' | sort)
    expected=$(printf '%s\n' "$@" | sort)
    if [ "$exports" = "$expected" ]; then
        echo "ok: exports $(echo $exports)"
    else
        echo "FAIL: exports of $file are"
        printf '  %s\n' $exports
        echo "expected"
        printf '  %s\n' $expected
        status=1
    fi
fi
exit $status
