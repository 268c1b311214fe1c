#!/bin/sh
# parse-ab.sh BASE KERNEL [LAYOUTS] [SIZES_KIB] [REPETITIONS]
#
# One kernel's parser at commit BASE (A) against the working tree's (B),
# timed in one process, in turn, the order reversed every repetition
# (bench/parse_ab.cpp): steadier than two processes in turn, whose speed
# drifted by up to a fifth from run to run on a shared machine. KERNEL is
# scalar, ssse3, avx2 or avx512; LAYOUTS the tests' layout names between
# '|' (default all), SIZES_KIB a comma list (default 4,1024), REPETITIONS
# default 31. Uses build/bench/random.bin, which `make bench` writes.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 2 ] || { sed -n 2,11p "$0" >&2; exit 2; }
base=$1 kernel=$2 layouts=${3:-all} sizes=${4:-4,1024} reps=${5:-31}
case $kernel in
scalar) file=scalar/format.cpp fn=HexTextToBytesScalar ;;
ssse3) file=ssse3/parse.cpp fn=HexTextToBytesSsse3 ;;
avx2) file=avx2/parse.cpp fn=HexTextToBytesAvx2 ;;
avx512) file=avx512/parse.cpp fn=HexTextToBytesAvx512 ;;
*) echo "parse-ab.sh: no kernel $kernel" >&2; exit 2 ;;
esac
random=$root/build/bench/random.bin
[ -f "$random" ] || { echo "parse-ab.sh: $random is missing (make bench writes it)" >&2; exit 2; }
out=$root/build/parse-ab
rm -rf "$out/base"
mkdir -p "$out/base"
git -C "$root" archive "$base" src | tar -x -C "$out/base"
flags="-std=c++20 -O2 -Wall -Wextra -Werror"
# Each build a library of its own, its inline tables and templates bound
# inside it, so that neither takes the other's.
build() {
    g++ $flags -fPIC -shared -fvisibility=hidden -fvisibility-inlines-hidden -Wl,-Bsymbolic -I"$1/src" -DHEX_AB_KERNEL=$fn \
        "$root/bench/parse_ab_entry.cpp" "$1/src/convert/$file" "$1/src/convert/scalar/parse.cpp" -o "$2"
}
build "$out/base" "$out/a.so"
build "$root" "$out/b.so"
g++ $flags -I"$root/tests/convert" -I"$root/src" "$root/bench/parse_ab.cpp" "$root"/src/convert/scalar/*.cpp -o "$out/parse_ab" -ldl
echo "parse-ab: A is $(git -C "$root" rev-parse --short "$base"), B the working tree; $kernel"
exec "$out/parse_ab" "$out/a.so" "$out/b.so" "$random" "$layouts" "$sizes" "$reps"
