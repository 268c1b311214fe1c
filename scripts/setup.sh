#!/bin/sh
# Installs the Debian packages the build, the tests and the benchmarks need,
# and nothing that is already there. Safe to run any number of times.
set -eu

PACKAGES="
cmake ninja-build g++ clang-14 libclang-rt-14-dev
libgtest-dev googletest libbenchmark-dev
g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
wine64 fonts-wine xvfb x11-apps x11-utils imagemagick libxml2-utils
python3 xxd coreutils util-linux procps
"

root=$(cd "$(dirname "$0")/.." && pwd)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive

missing=""
for pkg in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $pkg"
    fi
done
if [ -z "$missing" ]; then
    echo "setup: everything needed is installed"
else
    echo "setup: installing$missing"
    $sudo apt-get update -q
    # shellcheck disable=SC2086
    $sudo apt-get install -y -q $missing </dev/null
fi

# The 32-bit Windows program runs under the 32-bit Wine, which can only be
# had where this kernel runs i386 code. Where it cannot, wine32 must never be
# installed: plain `wine` would then start its loader for every program. The
# outcome goes to build/wine32/status ("ok", or why the 32-bit runs are
# skipped), which make test reads. WIN32=off skips them without looking.
status_dir=$root/build/wine32
mkdir -p "$status_dir"
skip() {
    echo "$*" >"$status_dir/status"
    echo "setup: the 32-bit runs will be skipped: $*"
    exit 0
}
[ "${WIN32:-on}" != off ] || skip "WIN32=off"

printf '.globl _start\n_start:\n movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' >"$status_dir/exit42.s"
as --32 "$status_dir/exit42.s" -o "$status_dir/exit42.o" && ld -m elf_i386 "$status_dir/exit42.o" -o "$status_dir/exit42" ||
    skip "cannot build an i386 program to try"
i386_status=0
"$status_dir/exit42" 2>/dev/null || i386_status=$?
[ $i386_status -eq 42 ] || skip "this kernel does not run 32-bit (i386) code"

if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
    echo "setup: this kernel runs 32-bit code; installing the 32-bit Wine"
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends wine32:i386 </dev/null
fi
why=$("$root/scripts/wine.sh" can-run-32 "$status_dir") || skip "$why"
echo ok >"$status_dir/status"
echo "setup: 32-bit Windows programs run here (wine32)"
