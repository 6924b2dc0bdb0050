#!/bin/sh
# Runs each example once against ro25-sim, each from a copy in a fresh
# directory so that the settings files and the registry stay out of the build.
set -eu
sim=$1
shift
work=$(mktemp -d)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

printf '12 EXAMPLE-39\n37 https://example.com\n' > "$work/barcodes.txt"
"$sim" --quiet --decode-ms 20 --barcodes "$work/barcodes.txt" --env-file "$work/env" \
    < /dev/null > "$work/sim.out" 2>&1 &
sim_pid=$!
i=0
while [ ! -s "$work/env" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
test -s "$work/env"
set -a
. "$work/env"
set +a
export QV_REGISTRY="$work/registry.reg" QV_DEBUG_OUTPUT="$work/debug.log"

for example in "$@"; do
    name=$(basename "$example")
    mkdir "$work/$name"
    cp "$example" "$work/$name/"
    if ! out=$("$work/$name/$name" 2>&1); then
        echo "$name failed:"
        echo "$out"
        exit 1
    fi
    echo "$name: $out"
done
