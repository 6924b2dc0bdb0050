#!/bin/sh
# Compares the platform library's dynamic symbols with what is declared: the
# C functions of QVPlatform.h under QVPLATFORM_0, and the C++ functions named
# in the version script under its private node, nothing else.
set -eu
lib=$1
header=$2
map=$3
version=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# name<TAB>node for every defined dynamic symbol but the node names themselves.
nm -D --defined-only "$lib" | awk '$2 != "A" {print $3}' | sed 's/@@*/\t/' > "$work/raw"
cut -f1 "$work/raw" | c++filt > "$work/names"
cut -f2 "$work/raw" | paste "$work/names" - | sort -u > "$work/exported"

{
    grep -o 'QVPlatform[A-Za-z0-9_]*(' "$header" | tr -d '(' | sort -u |
        sed 's/$/\tQVPLATFORM_0/'
    sed -n 's/^ *"\(.*\)";$/\1/p' "$map" | sed "s/\$/\tQVPLATFORM_PRIVATE_$version/"
} | sort > "$work/declared"

if ! diff "$work/declared" "$work/exported" > "$work/diff"; then
    echo "libQVPlatform exports differ from the declarations (< declared only, > exported only):"
    cat "$work/diff"
    exit 1
fi
echo "$(grep -c QVPLATFORM_0 "$work/exported") C functions and" \
     "$(grep -c PRIVATE "$work/exported") private ones, all declared"
