#!/bin/sh
# Installs what building and testing the package needs on a Debian machine.
# Run as root. Safe to run again: when everything is there it only checks and says so.
set -eu

# Both bitnesses: the i686 and x86_64 cross compilers, and both Wine loaders (the
# wine package is satisfied by wine32 alone; wine64 runs the 64-bit prefix, whose
# 32-bit programs wine32 runs).
packages="cmake ninja-build g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine32:i386 wine64 googletest xvfb xauth fonts-wqy-microhei nsis"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    echo "setup: all build and test packages are installed."
    exit 0
fi

if [ "$(id -u)" != 0 ]; then
    echo "setup: missing packages:$missing" >&2
    echo "setup: run this script as root (or install them with apt-get) and try again." >&2
    exit 1
fi

echo "setup: missing packages:$missing"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: enabling the i386 architecture (Wine runs 32-bit Windows programs with it)..."
    dpkg --add-architecture i386
fi
echo "setup: updating the package lists..."
apt-get update -q
echo "setup: installing$missing (this takes a few minutes on a fresh machine)..."
DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing
echo "setup: done."
