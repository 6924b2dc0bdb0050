#!/usr/bin/env bash
# make test-linux: boots Debian's kernel under qemu (scripts/linux-rig) and
# runs build/tests/linux_tests in it, with ro25-sim on this side of the
# guest's UARTs: its pseudo-terminal is the far end of /dev/ttyS1 (the
# engine's line) and its "BAR1:" driver socket the far end of /dev/ttyS2
# (over which the guest also hands on the levels of its GPIO lines).
#
#   tests/linux/run.sh [BUILD_DIR]
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd -P)
build=$(cd "${1:-$src/build}" && pwd -P)
rig=$build/linux-rig
out=$rig/out

"$src/scripts/linux-rig/install-deps"
"$src/scripts/linux-rig/build" "$rig"
mkdir -p "$out"
rm -f "$out"/*.log "$out/command"
# The guest has a /tmp and /run of its own; trees there are shown through them.
printf '%s\n' "$src" "$build" > "$out/binds"

# Short socket paths: a Unix socket path has at most 107 bytes.
simdir=$(mktemp -d /tmp/qvrig.XXXXXX)
sim_pid=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2> /dev/null && wait "$sim_pid" 2> /dev/null
    rm -rf "$simdir"
}
trap cleanup EXIT

"$build/sim/ro25-sim" --dir "$simdir" --env-file "$simdir/env" \
    --barcodes "$src/tests/linux/barcodes.txt" < /dev/null > "$out/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -s "$simdir/env" ] && break; sleep 0.1; done
pty=$(sed -n 's/^QV_PORT_COM2=//p' "$simdir/env")
[ -n "$pty" ] || { echo "test-linux: ro25-sim did not start"; cat "$out/sim.log"; exit 1; }

cat > "$out/command" << COMMAND
export QV_PORT_COM2=/dev/ttyS1 QV_DRIVER_BAR1=unix:/tmp/bar1.sock
export QV_REGISTRY=/tmp/registry.reg QV_DEBUG_OUTPUT=$out/debug.log
exec $build/tests/linux_tests --gtest_color=no
COMMAND

echo "test-linux: booting the rig (console in $out/console.log)"
status=0
QV_RIG_TTYS1="serial,id=ttys1,path=$pty" QV_RIG_TTYS2="socket,id=ttys2,path=$simdir/bar1.sock" \
    "$src/scripts/linux-rig/boot" "$rig" "$out" 600 || status=$?
cat "$out/output" 2> /dev/null || true
if [ "$status" -ne 0 ]; then
    echo "test-linux: failed ($status); the library's log is $out/debug.log, the simulator's $out/sim.log"
fi
exit "$status"
