#!/bin/sh
# Installs the Debian packages the build, the tests and the benchmarks need,
# and nothing that is already there. Safe to run any number of times.
set -eu

PACKAGES="
cmake ninja-build g++ clang-14 libclang-rt-14-dev
libgtest-dev googletest libbenchmark-dev
g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
wine64 fonts-wine xvfb x11-apps x11-utils imagemagick
python3 xxd coreutils util-linux procps
"

missing=""
for pkg in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $pkg"
    fi
done

if [ -z "$missing" ]; then
    echo "setup: everything needed is installed"
    exit 0
fi

echo "setup: installing$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
# shellcheck disable=SC2086
$sudo apt-get install -y -q $missing </dev/null
