#!/bin/sh
# measure-win32-limits.sh: the largest inputs the 32-bit program converts
# under this machine's 32-bit Wine, to the mebibyte, for bin2hex (a file of
# zero bytes) and hex2bin (text of whole 64-byte lines). Each try starts the
# program, has it load the file through its Open chooser and tells whether
# the conversion ran or the failure box came. Not part of make test: it takes
# a few minutes and writes files of up to 2 GiB in build/win32/limits.
#
#     scripts/measure-win32-limits.sh [build/win64]   (another build to measure)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/win32}
build=$(cd "$build" && pwd)
dir=$build/limits

if [ "${HEXBIN_IN_SESSION:-}" != 1 ]; then
    [ -f "$build/bin/e2e_driver.exe" ] || { echo "limits: build $build first (make build)" >&2; exit 1; }
    HEXBIN_IN_SESSION=1 exec "$root/scripts/wine.sh" session "$dir" --fresh --virtual-display -- "$0" "$build"
fi

MIB=1048576
line="0a 1B 2c 3D 4e 5F 60 71 - 82 93 a4 B5 c6 D7 e8 F9 ;a full line."  # 63 bytes and LF

# probe COMMAND MIB: 0 if COMMAND converts an input of MIB MiB, 1 if refused.
probe() {
    input=$dir/in.$1
    rm -f "$input"
    if [ "$1" = bin2hex ]; then
        truncate -s $(($2 * MIB)) "$input"
    else
        yes "$line" | head -c $(($2 * MIB)) >"$input"
    fi
    status=0
    out=$("$root/scripts/wine.sh" exec "$build/bin/e2e_driver.exe" "$build/bin/hexbin.exe" "$dir/work" \
        --probe "$1" "$input" 2>/dev/null) || status=$?
    rm -f "$input"
    echo "    $2 MiB: $(echo "$out" | tr -s ' \n' ' ')" >&2
    [ $status -le 1 ] || { echo "limits: the try failed" >&2; exit 1; }
    return $status
}

# seek COMMAND LOW HIGH: LOW MiB converts, HIGH MiB is refused; halves the
# gap down to one mebibyte.
seek() {
    command=$1 low=$2 high=$3
    probe "$command" "$low" || { echo "limits: $command refuses even $low MiB" >&2; exit 1; }
    ! probe "$command" "$high" || { echo "limits: $command converts even $high MiB" >&2; exit 1; }
    while [ $((high - low)) -gt 1 ]; do
        middle=$(((low + high) / 2))
        if probe "$command" "$middle"; then low=$middle; else high=$middle; fi
    done
    echo "$command: converts $low MiB, refuses $high MiB"
}

echo "limits of $build/bin/hexbin.exe under Wine $(wine --version 2>/dev/null || echo '?'):"
seek bin2hex 1 1023
seek hex2bin 1 2047
