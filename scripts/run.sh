#!/bin/sh
# run.sh PROGRAM [WHY]: opens PROGRAM under Wine, in a prefix of its own
# (build/run), and says which program it is; WHY, where the 64-bit one is
# opened, says why not the 32-bit one. On a desktop it stays open until the
# user closes it. With no display it opens on a virtual one, saves a
# screenshot of its window to build/screenshot.png and closes the program.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
screenshot=$root/build/screenshot.png
title="Hex and Binary conversions"

if [ "${HEXBIN_RUN_IN_SESSION:-}" != 1 ]; then
    program=$(cd "$(dirname "${1:?usage: run.sh PROGRAM [WHY]}")" && pwd)/$(basename "$1")
    [ -f "$program" ] || { echo "run: $program is not built (make run builds it)" >&2; exit 1; }
    pe=$(od -An -tu4 -j60 -N4 "$program" | tr -d ' ')
    if [ "$(od -An -tx2 -j$((pe + 4)) -N2 "$program" | tr -d ' ')" = 014c ]; then
        echo "run: the 32-bit program, as shipped ($program)"
    else
        echo "run: the 64-bit program ($program)${2:+; not the 32-bit one: $2}"
    fi
    HEXBIN_RUN_IN_SESSION=1 exec "$root/scripts/wine.sh" session "$root/build/run" -- "$0" "$program"
fi
program=$1

if [ -z "${HEXBIN_VIRTUAL_DISPLAY:-}" ]; then
    echo "run: opening $program on $DISPLAY"
    exec "$root/scripts/wine.sh" exec "$program"
fi

echo "run: no display; opening the program on a virtual one ($DISPLAY)"
"$root/scripts/wine.sh" exec "$program" &
program_pid=$!

# The window's geometry once it is mapped: "X Y WIDTH HEIGHT".
window_geometry() {
    xwininfo -name "$title" 2>/dev/null | awk '
        /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /Width:/ { w = $NF } /Height:/ { h = $NF } /Map State: IsViewable/ { shown = 1 }
        END { if (shown) print x, y, w, h }'
}

waited=0
geometry=
while [ -z "$geometry" ]; do
    if [ $waited -ge 600 ] || ! kill -0 $program_pid 2>/dev/null; then
        echo "run: the window \"$title\" did not show" >&2
        exit 1
    fi
    sleep 0.1
    waited=$((waited + 1))
    geometry=$(window_geometry)
done
set -- $geometry
crop="${3}x${4}+${1}+${2}"

# Wait until the window is drawn: two grabs in a row alike.
previous=
for _ in $(seq 20); do
    sleep 0.3
    current=$(import -window root -crop "$crop" rgb:- | md5sum)
    [ "$current" != "$previous" ] || break
    previous=$current
done
mkdir -p "$(dirname "$screenshot")"
import -window root -crop "$crop" +repage "$screenshot"
echo "run: screenshot of the window ($crop on a 1024x768 screen) saved to $screenshot"

# Close it as a user would; the dialog ends on WM_CLOSE with exit code 0.
"$root/scripts/wine.sh" exec taskkill /im hexbin.exe >/dev/null 2>&1 || true
status=0
wait $program_pid || status=$?
echo "run: the program closed with exit code $status"
exit $status
