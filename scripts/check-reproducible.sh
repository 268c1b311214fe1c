#!/bin/sh
# check-reproducible.sh: two builds of this tree, in two folders of their
# own, under different time zones and umasks, give the same two programs and
# the same zip, byte for byte, and the same as the tree's own in dist/. Run
# by make dist once it has written the zip; it builds the two programs twice
# more (a few minutes), in build/reproduce/.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/build/reproduce
version=$(sed -n 's/^project(hexbin VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
zip=dist/hexbin-$version.zip
# Both copies date the zip's entries as the tree's own zip did: they are not
# git checkouts.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}
export SOURCE_DATE_EPOCH

[ -f "$root/$zip" ] || { echo "reproduce: $zip is not there (make dist writes it)" >&2; exit 1; }
rm -rf "$work"

# build DIR TZ UMASK: the tree's files (tracked, and new ones not ignored,
# as they are now) copied to DIR and built there as make dist builds them.
build() {
    dir=$1
    mkdir -p "$dir"
    git -C "$root" ls-files -z --cached --others --exclude-standard |
        (cd "$root" && tar --null --ignore-failed-read -T - -cf -) | tar -C "$dir" -xf -
    echo "reproduce: building in $dir (TZ=$2, umask $3)"
    (
        cd "$dir"
        umask "$3"
        export TZ="$2"
        for preset in win32 win64; do
            cmake --preset $preset >build.log 2>&1 && cmake --build --preset $preset --target hexbin >>build.log 2>&1 ||
                { tail -20 build.log >&2; exit 1; }
        done
        python3 scripts/dist.py >/dev/null
    )
}

build "$work/one" UTC 022
build "$work/the-second-copy" Pacific/Kiritimati 077

status=0
for file in build/win32/bin/hexbin.exe build/win64/bin/hexbin.exe "$zip"; do
    for copy in one the-second-copy; do
        cmp -s "$root/$file" "$work/$copy/$file" || { echo "FAIL $copy/$file differs from the tree's own" >&2; status=1; }
    done
done
if [ $status -eq 0 ]; then
    echo "reproduce: two more builds give the same programs and the same zip: $(sha256sum "$root/$zip" | cut -d' ' -f1)"
    rm -rf "$work"
else
    echo "reproduce: the copies are kept in $work" >&2
fi
exit $status
