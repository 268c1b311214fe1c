#!/bin/sh
# limit-address-space.sh: the hexbin.exe running in this Wine prefix may map
# no more address space than it has mapped now (RLIMIT_AS). Wine set aside
# the low 2 GiB of a 64-bit process at its start and allocates there first,
# so the program is left about 1.6 GiB to allocate in, as a 32-bit program
# on 32-bit Windows would be. Run by the end-to-end driver, under WINEPREFIX, once the Open
# chooser shows. The chooser may go on mapping for a moment, longer on a
# busy machine, so the limit is taken once the mapped size has held still
# for a second.
for pid in $(pgrep -x hexbin.exe); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    kb=0
    still=0
    for _ in $(seq 100); do
        now=$(awk '/^VmSize:/ {print $2}' "/proc/$pid/status")
        if [ "$now" = "$kb" ]; then still=$((still + 1)); else still=0; fi
        kb=$now
        [ $still -lt 5 ] || break
        sleep 0.2
    done
    exec prlimit --pid "$pid" --as=$((kb * 1024))
done
echo "limit-address-space: no hexbin.exe runs in $WINEPREFIX" >&2
exit 1
