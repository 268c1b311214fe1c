#!/bin/sh
# hexfile_stream_test.sh HEXFILE
# The streaming run must write the very text of the whole-file run: sizes
# around the slice (64 KiB) and line (16 bytes) boundaries, where the LF
# between slices is put back.
set -eu
hexfile=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
head -c 200003 /dev/urandom >"$dir/random"
for n in 0 1 15 16 17 65519 65535 65536 65537 131072 131088 200003; do
    head -c "$n" "$dir/random" >"$dir/in"
    "$hexfile" bin2hex "$dir/in" "$dir/whole"
    "$hexfile" --stream bin2hex "$dir/in" "$dir/stream"
    if ! cmp -s "$dir/whole" "$dir/stream"; then
        echo "hexfile --stream wrote another text for $n bytes" >&2
        exit 1
    fi
done
echo "hexfile --stream: same text for every size"
