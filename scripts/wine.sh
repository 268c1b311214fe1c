#!/bin/sh
# wine.sh: every way this project runs Wine, with the loader each program
# needs. Once the 32-bit Wine is installed, plain `wine` starts the 32-bit
# loader for every program, which breaks 64-bit programs on a kernel that
# refuses 32-bit code; so the loader is picked here by the program's own
# machine type: wine64 for a PE32+, the 32-bit loader for a PE32.
#
#   wine.sh exec PROGRAM [ARGS...]      run PROGRAM in the current WINEPREFIX
#   wine.sh run PREFIX PROGRAM [ARGS...]
#                                       run PROGRAM in PREFIX, made on first use
#                                       (ctest may start several at once)
#   wine.sh session DIR [--fresh] [--virtual-display] -- COMMAND [ARGS...]
#                                       run COMMAND with a prefix of its own
#                                       (DIR/prefix) and an X display
#   wine.sh stop PREFIX                 end every Wine process of PREFIX
#   wine.sh can-run-32                  says whether PE32 programs run here
#
# session: the display is a virtual one (Xvfb) when --virtual-display is
# given or no display is set; --fresh starts from a new prefix. COMMAND sees
# WINEPREFIX, DISPLAY, and HEXBIN_VIRTUAL_DISPLAY=1 on the virtual display.
# Whatever happens, every Wine process of the prefix and the virtual display
# are ended on the way out. Exits with COMMAND's status.
set -eu

WINE64=/usr/lib/wine/wine64
WINE32=/usr/lib/wine/wine

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts

# The loader for a program: by the machine field of its PE header; anything
# else (a built-in program such as wineboot or reg) runs under wine64.
loader_for() {
    if [ -f "$1" ]; then
        pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
        machine=$(od -An -tx2 -j$((${pe:-0} + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
        if [ "$machine" = 014c ]; then
            [ -x "$WINE32" ] || { echo "wine.sh: $1 is a 32-bit program and no 32-bit Wine is installed" >&2; exit 1; }
            echo "$WINE32"
            return
        fi
    fi
    echo "$WINE64"
}

make_prefix() {  # in WINEPREFIX, once
    [ -f "$WINEPREFIX/system.reg" ] && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    flock "$WINEPREFIX.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || { "$1" wineboot -i && wineserver -w; }' \
        sh "$WINE64" >"$WINEPREFIX.log" 2>&1 || {
        echo "wine.sh: could not create the Wine prefix $WINEPREFIX:" >&2
        tail -20 "$WINEPREFIX.log" >&2
        exit 1
    }
}

stop_prefix() {  # every Wine process of WINEPREFIX
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
}

session() {
    dir=$1
    shift
    fresh=
    virtual=
    while [ $# -gt 0 ]; do
        case $1 in
        --fresh) fresh=1 ;;
        --virtual-display) virtual=1 ;;
        --) shift; break ;;
        *) echo "wine.sh: unknown option $1" >&2; exit 2 ;;
        esac
        shift
    done
    [ -n "${DISPLAY:-}" ] || virtual=1
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    export WINEPREFIX="$dir/prefix"
    xvfb_pid=
    trap 'stop_prefix; [ -z "$xvfb_pid" ] || { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; } || true' EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM

    if [ -n "$virtual" ]; then
        # Xvfb picks a free display itself and writes its number once it is
        # ready, so sessions started side by side never meet.
        rm -f "$dir/display"
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
        xvfb_pid=$!
        waited=0
        until grep -q '^[0-9]' "$dir/display" 2>/dev/null; do
            if ! kill -0 "$xvfb_pid" 2>/dev/null || [ $waited -ge 200 ]; then
                echo "wine.sh: the virtual display did not start:" >&2
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

    [ -z "$fresh" ] || rm -rf "$WINEPREFIX"
    make_prefix
    # Wine's own fonts (fonts-wine), which this Wine does not find by itself:
    # without Marlett the caption buttons show letters instead of their symbols.
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    # A virtual display has no window manager: Wine then draws each window's
    # frame itself (title bar, icon, close box) and does not wait for a
    # manager to confirm that a window was hidden. On a desktop the manager
    # does both.
    if [ -n "$virtual" ]; then x11_own=N; else x11_own=Y; fi
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Decorated"="%s"\n"Managed"="%s"\n' \
        "$x11_own" "$x11_own" >"$dir/x11-driver.reg"
    "$WINE64" reg import "$dir/x11-driver.reg" >/dev/null 2>&1
    status=0
    "$@" || status=$?
    exit $status
}

# A PE32 runs here when the kernel runs i386 code and the 32-bit Wine starts
# one: a program that only returns 42 tells both. The prefix is kept.
can_run_32() {
    [ -x "$WINE32" ] || { echo "no 32-bit Wine is installed"; return 1; }
    dir=$1
    mkdir -p "$dir"
    printf 'int main(void) { return 42; }\n' >"$dir/exit42.c"
    i686-w64-mingw32-gcc -O2 "$dir/exit42.c" -o "$dir/exit42.exe" ||
        { echo "cannot build a PE32 to try"; return 1; }
    WINEPREFIX=$(cd "$dir" && pwd)/prefix
    export WINEPREFIX
    make_prefix
    status=0
    timeout 120 "$WINE32" "$dir/exit42.exe" >"$dir/exit42.log" 2>&1 || status=$?
    stop_prefix
    [ $status -eq 42 ] || { echo "a PE32 does not run under the 32-bit Wine (status $status)"; return 1; }
}

command=${1:-}
[ $# -eq 0 ] || shift
case $command in
exec)
    exec "$(loader_for "$1")" "$@"
    ;;
run)
    WINEPREFIX=$1
    export WINEPREFIX
    shift
    make_prefix
    exec "$(loader_for "$1")" "$@"
    ;;
session)
    session "$@"
    ;;
stop)
    [ -d "$1" ] || exit 0
    WINEPREFIX=$(cd "$1" && pwd)
    export WINEPREFIX
    stop_prefix
    ;;
can-run-32)
    can_run_32 "$1"
    ;;
*)
    echo "usage: wine.sh exec|run|session|stop|can-run-32 ... (see the script)" >&2
    exit 2
    ;;
esac
