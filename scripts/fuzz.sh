#!/bin/sh
# fuzz.sh SECONDS [--grow]
# Runs every fuzzer for SECONDS each, starting from the seed corpus in
# fuzz/corpus/<name>. Without --grow new inputs go to a scratch folder that
# is removed afterwards; with --grow they are merged back into the corpus.
set -eu
seconds=${1:-30}
grow=${2:-}
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/fuzz/bin
status=0
for name in format parse; do
    scratch=$(mktemp -d)
    seeds=$root/fuzz/corpus/$name
    echo "fuzz_$name: $seconds s"
    if ! "$bin/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$root/build/fuzz/" "$scratch" "$seeds" 2>"$scratch.log"; then
        tail -40 "$scratch.log"
        status=1
    else
        grep -E '^(Done|stat::number_of_executed_units|#[0-9]+.*DONE)' "$scratch.log" || true
        if [ "$grow" = "--grow" ]; then
            "$bin/fuzz_$name" -merge=1 "$seeds" "$scratch" >/dev/null 2>&1
        fi
    fi
    rm -rf "$scratch" "$scratch.log"
done
exit $status
