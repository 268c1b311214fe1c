#!/bin/sh
# wine-session.sh DIR [--fresh] [--virtual-display] -- COMMAND [ARGS...]
#
# Runs COMMAND with a Wine prefix of its own (DIR/prefix) and an X display:
# a virtual one (Xvfb) when --virtual-display is given or no display is set.
# --fresh starts from a new prefix. COMMAND sees WINEPREFIX, DISPLAY, and
# HEXBIN_VIRTUAL_DISPLAY=1 when the display is the virtual one. Whatever
# happens, every Wine process of the prefix and the virtual display are
# ended on the way out. Exits with COMMAND's status.
set -eu

dir=$1
shift
fresh=
virtual=
while [ $# -gt 0 ]; do
    case $1 in
    --fresh) fresh=1 ;;
    --virtual-display) virtual=1 ;;
    --) shift; break ;;
    *) echo "wine-session: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
[ -n "${DISPLAY:-}" ] || virtual=1

mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
export WINEPREFIX="$dir/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
xvfb_pid=

stop_session() {
    wineserver -k 2>/dev/null || true
    # A Wine process still starting when its server went away outlives it:
    # end every Wine process of this prefix that is left, by its id.
    for environ in /proc/[0-9]*/environ; do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        case $(readlink "/proc/$pid/exe" 2>/dev/null) in
        */wine*) ;;
        *) continue ;;
        esac
        if tr '\0' '\n' <"$environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            kill -9 "$pid" 2>/dev/null || true
        fi
    done
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap stop_session EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

if [ -n "$virtual" ]; then
    # Xvfb picks a free display itself and writes its number once it is ready,
    # so sessions started side by side never meet.
    rm -f "$dir/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    waited=0
    until grep -q '^[0-9]' "$dir/display" 2>/dev/null; do
        if ! kill -0 "$xvfb_pid" 2>/dev/null || [ $waited -ge 200 ]; then
            echo "wine-session: the virtual display did not start:" >&2
            cat "$dir/xvfb.log" >&2
            exit 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    DISPLAY=:$(head -n 1 "$dir/display")
    export DISPLAY
    export HEXBIN_VIRTUAL_DISPLAY=1
fi

if [ -n "$fresh" ]; then
    rm -rf "$WINEPREFIX"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 180 wineboot -i >"$dir/wineboot.log" 2>&1 || {
        echo "wine-session: could not create the Wine prefix $WINEPREFIX:" >&2
        tail -20 "$dir/wineboot.log" >&2
        exit 1
    }
fi

# Wine's own fonts (fonts-wine), which this Wine does not find by itself:
# without Marlett the caption buttons show letters instead of their symbols.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true

# A virtual display has no window manager: Wine then draws each window's
# frame itself (title bar, icon, close box) and does not wait for a manager
# to confirm that a window was hidden. On a desktop the manager does both.
if [ -n "$virtual" ]; then x11_own=N; else x11_own=Y; fi
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Decorated"="%s"\n"Managed"="%s"\n' \
    "$x11_own" "$x11_own" >"$dir/x11-driver.reg"
wine reg import "$dir/x11-driver.reg" >/dev/null 2>&1

"$@"
