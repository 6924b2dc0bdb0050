#!/bin/sh
# Runs each example once against ro25-sim, each from a copy in a fresh
# directory so that the settings files and the registry stay out of the build.
# Then runs the first again with QV_DEBUG_OUTPUT unset: it must write nothing
# to standard error, nor to a journal that listens (one of this script's, in
# a private mount namespace where the system allows one).
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

for i in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16; do
    printf '12 EXAMPLE-%s\n' "$i"
done > "$work/barcodes.txt"
mkdir "$work/sim"
"$sim" --quiet --decode-ms 20 --barcodes "$work/barcodes.txt" --env-file "$work/env" \
    --dir "$work/sim" < /dev/null > "$work/sim.out" 2>&1 &
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
    if ! out=$(timeout 60 "$work/$name/$name" 2>&1); then
        echo "$name failed:"
        echo "$out"
        exit 1
    fi
    echo "$name: $out"
done

unset QV_DEBUG_OUTPUT
first=$(basename "$1")
quiet() {
    if ! timeout 60 "$work/$first/$first" > /dev/null 2> "$work/stderr"; then
        echo "$first failed without QV_DEBUG_OUTPUT:"
        cat "$work/stderr"
        exit 1
    fi
    if [ -s "$work/stderr" ]; then
        echo "$first wrote to standard error without QV_DEBUG_OUTPUT:"
        cat "$work/stderr"
        exit 1
    fi
}
quiet
echo "without QV_DEBUG_OUTPUT: nothing on standard error"
here=$(dirname "$0")
if unshare -rm true 2> /dev/null && command -v python3 > /dev/null; then
    export QV_EXAMPLE="$work/$first/$first"
    unshare -rm python3 "$here/journal_listens.py"
else
    echo "no private mount namespace here: the journal check is left out"
fi
