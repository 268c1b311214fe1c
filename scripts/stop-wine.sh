#!/bin/sh
# stop-wine.sh PREFIX: ends every Wine process of that prefix, if any runs.
[ -d "$1" ] || exit 0
WINEPREFIX=$(cd "$1" && pwd) wineserver -k 2>/dev/null
exit 0
