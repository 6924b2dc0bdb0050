#!/bin/sh
# Installs the build into a temporary prefix and builds C programs against the
# installed tree: through the CMake package, through pkg-config, and one that
# scans a barcode from the installed simulator. The tree's pkg-config and
# CMake package files are those of a build configured for /usr (as the Debian
# packages are), so they must find the prefix from where they lie.
set -eu
build=$1
source=$2
work=$(mktemp -d)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/include/qvimager/QV_Rizoviv2I_RO25.h"
test -f "$prefix/include/qvimager/QVPlatform.h"
libdir=$(dirname "$(find "$prefix" -name libQV_Rizoviv2I_RO25.so.0)")
test -f "$libdir/pkgconfig/qvimager.pc"

# The same files from a configuration for /usr (configured only: they are made
# then), with the installed tree's library directory.
cmake -S "$source" -B "$work/usr-config" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr \
      -DCMAKE_INSTALL_LIBDIR="${libdir#"$prefix"/}" -DQV_BUILD_TESTS=OFF >/dev/null
grep -q '^prefix=${pcfiledir}/' "$work/usr-config/qvimager.pc" ||
    { echo "qvimager.pc of a /usr build does not find its prefix from its place:" >&2;
      cat "$work/usr-config/qvimager.pc" >&2; exit 1; }
cp "$work/usr-config/qvimager.pc" "$libdir/pkgconfig/qvimager.pc"
cp "$work/usr-config/QVImagerConfig.cmake" "$libdir/cmake/QVImager/QVImagerConfig.cmake"

cmake -S "$source/tests/install/consumer" -B "$work/cmake-build" \
      -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/cmake-build/consumer"

# cmake --find-package, which loads the package without a project (so no
# language enabled): compile and link flags naming the installed tree. With
# no compiler to ask, it takes the first multiarch directory in /lib for the
# library architecture, a foreign one on a machine where dpkg has another
# architecture enabled: the installed tree's own is named instead.
multiarch=
case ${libdir#"$prefix"/} in lib/*-*) multiarch=${libdir##*/} ;; esac
fp() { cmake --find-package -DNAME=QVImager -DCOMPILER_ID=GNU -DLANGUAGE=C \
             ${multiarch:+-DCMAKE_LIBRARY_ARCHITECTURE="$multiarch"} \
             -DCMAKE_PREFIX_PATH="$prefix" -DMODE="$1"; }
fp EXIST
fp_flags="$(fp COMPILE) $(fp LINK)"
# shellcheck disable=SC2086
cc -std=c11 -o "$work/fp-consumer" "$source/tests/install/consumer/main.c" $fp_flags
LD_LIBRARY_PATH=$libdir "$work/fp-consumer"

# pkg-config alone, as a user would: the file finds its prefix from where it lies.
PKG_CONFIG_PATH=$libdir/pkgconfig
export PKG_CONFIG_PATH
flags=$(pkg-config --cflags --libs qvimager)
incdir=$(pkg-config --variable=includedir qvimager)/qvimager
[ "$(cd "$incdir" && pwd -P)" = "$(cd "$prefix/include/qvimager" && pwd -P)" ] ||
    { echo "pkg-config names $incdir, not $prefix/include/qvimager" >&2; exit 1; }
# shellcheck disable=SC2086
cc -std=c11 -o "$work/pc-consumer" "$source/tests/install/consumer/main.c" $flags
LD_LIBRARY_PATH=$libdir "$work/pc-consumer"

# Both ways of building an application, each run against the installed
# simulator through the socket and the pseudo-terminal it prints.
cc -std=c11 -o "$work/scan-one" "$source/tests/install/consumer/scan_one.c" $flags
printf '12 INSTALLED-39\n12 INSTALLED-39\n' > "$work/barcodes.txt"
"$prefix/bin/ro25-sim" --quiet --decode-ms 20 --barcodes "$work/barcodes.txt" \
    --env-file "$work/env" < /dev/null > "$work/sim.out" 2>&1 &
sim_pid=$!
i=0
while [ ! -s "$work/env" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
test -s "$work/env"
mkdir -p "$work/app"
for program in "$work/scan-one" "$work/cmake-build/scan_one"; do
    (
        set -a
        . "$work/env"
        set +a
        QV_REGISTRY=$work/app/registry.reg QV_DEBUG_OUTPUT=$work/app/debug.log \
            LD_LIBRARY_PATH=$libdir "$program"
    ) | grep -q 'barcode 12 "INSTALLED-39"'
done
echo "installed applications (pkg-config and CMake package) scanned from the installed simulator"
