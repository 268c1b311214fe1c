#!/bin/sh
# limit-address-space.sh: the hexbin.exe running in this Wine prefix may map
# no more address space than it has mapped now (RLIMIT_AS). Wine set aside
# the low 2 GiB of a 64-bit process at its start and allocates there first,
# so the program is left about 1.6 GiB to allocate in, as a 32-bit program
# would be. Run by the end-to-end driver, under WINEPREFIX.
for pid in $(pgrep -x hexbin.exe); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    kb=$(awk '/^VmSize:/ {print $2}' "/proc/$pid/status")
    exec prlimit --pid "$pid" --as=$((kb * 1024))
done
echo "limit-address-space: no hexbin.exe runs in $WINEPREFIX" >&2
exit 1
