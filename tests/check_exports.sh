#!/bin/sh
# Compares the shared library's dynamic symbols with the header's declarations;
# each is under the version node QVIMAGER_0 (src/interface/exports.map).
set -eu
lib=$1
header=$2
symbols=$(nm -D --defined-only "$lib" | awk '$2 != "A" {print $3}')
unversioned=$(printf '%s\n' "$symbols" | grep -v '@@QVIMAGER_0$' || true)
[ -z "$unversioned" ] || { echo "exported outside QVIMAGER_0:"; echo "$unversioned"; exit 1; }
exported=$(printf '%s\n' "$symbols" | sed 's/@@QVIMAGER_0$//' | sort)
declared=$(grep -o 'QVImager[A-Za-z0-9_]*(' "$header" | tr -d '(' | sort -u)
if [ "$exported" != "$declared" ]; then
    echo "exports differ from the header:"
    printf '%s\n' "$exported" > /tmp/qv_exported.$$
    printf '%s\n' "$declared" | diff - /tmp/qv_exported.$$ || true
    rm -f /tmp/qv_exported.$$
    exit 1
fi
count=$(printf '%s\n' "$exported" | wc -l)
[ "$count" -eq 93 ] || { echo "expected 93 exports, found $count"; exit 1; }
echo "93 exports, all declared"
