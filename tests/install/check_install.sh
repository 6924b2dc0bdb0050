#!/bin/sh
# Installs the build into a temporary prefix and builds a C program against
# the installed tree twice: through the CMake package and through pkg-config.
set -eu
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/include/QV_Rizoviv2I_RO25.h"
ls "$prefix"/lib*/libQV_Rizoviv2I_RO25.so.0 >/dev/null
libdir=$(dirname "$(ls "$prefix"/lib*/libQV_Rizoviv2I_RO25.so)")

cmake -S "$source/tests/install/consumer" -B "$work/cmake-build" \
      -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/cmake-build/consumer"

# The pkg-config file names the install prefix it was configured with, so
# point it at the temporary one.
PKG_CONFIG_PATH=$libdir/pkgconfig
export PKG_CONFIG_PATH
flags=$(pkg-config --define-variable=prefix="$prefix" --cflags --libs qvimager)
# shellcheck disable=SC2086
cc -std=c11 -o "$work/pc-consumer" "$source/tests/install/consumer/main.c" $flags
LD_LIBRARY_PATH=$libdir "$work/pc-consumer"
