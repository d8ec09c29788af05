#!/bin/sh
# The code compiled for AVX2 and AVX-512 is reached only through its one
# entry each: were a shared inline function compiled there too, the linker
# could take that copy for the whole program, which would then run it on a
# processor without those instructions. So each such object defines its
# entry and nothing else that the linker could share (a global, weak or
# unique symbol: upper case, u, v or w).
#   wide_blocks_symbols.sh object...
status=0
checked=0
for object in "$@"; do
    case $object in
    *blocks_avx*) ;;
    *) continue ;;
    esac
    checked=$((checked + 1))
    shared=$(nm --defined-only "$object" | awk '$2 ~ /^[A-Zuvw]$/ && $3 !~ /count_blocks_avx/')
    if [ -n "$shared" ]; then
        echo "$object defines more than its entry: $shared" >&2
        status=1
    fi
done
if [ "$checked" -ne 2 ]; then
    echo "expected the AVX2 and the AVX-512 object, found $checked" >&2
    status=1
fi
exit $status
