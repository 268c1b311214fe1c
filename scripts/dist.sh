#!/bin/sh
# dist.sh: dist/hexbin-VERSION.zip, what users download: the 32-bit program
# as shipped, the 64-bit one beside it, the README as text, and their SHA-256
# sums. Run by make dist after both programs are built.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(hexbin VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "dist: no version in CMakeLists.txt" >&2; exit 1; }
name=hexbin-$version
stage=$root/build/dist/$name
rm -rf "$stage"
mkdir -p "$stage" "$root/dist"
cp "$root/build/win32/bin/hexbin.exe" "$stage/hexbin.exe"
cp "$root/build/win64/bin/hexbin.exe" "$stage/hexbin-x64.exe"
# Windows line ends, so Notepad shows it as written on any Windows.
sed 's/$/\r/' "$root/README.md" >"$stage/README.txt"
(cd "$stage" && sha256sum hexbin.exe hexbin-x64.exe README.txt >SHA256SUMS.txt)
rm -f "$root/dist/$name.zip"
(cd "$root/build/dist" && cmake -E tar cf "$root/dist/$name.zip" --format=zip "$name")
echo "dist: $root/dist/$name.zip"
(cd "$stage" && cat SHA256SUMS.txt)
