#!/bin/sh
# The code compiled for AVX2 and AVX-512 is reached only through its one
# entry each: were a shared inline function compiled there too, the linker
# could take that copy for the whole program, which would then run it on a
# processor without those instructions. So each such object defines its
# entry and no other code that the linker could share (a function bound
# globally, weakly or uniquely). Shared data, the tables of constants, is the
# same bytes whatever it was compiled for.
#   wide_blocks_symbols.sh object...
status=0
checked=0
for object in "$@"; do
    case $object in
    *blocks_avx*) ;;
    *) continue ;;
    esac
    checked=$((checked + 1))
    shared=$(readelf -sW "$object" | awk '$1 ~ /^[0-9]+:$/ && $5 != "LOCAL" && $7 != "UND" &&
        $4 != "OBJECT" && $8 !~ /count_blocks_avx/')
    if [ -n "$shared" ]; then
        echo "$object defines more than its entry: $shared" >&2
        status=1
    fi
done
if [ "$checked" -ne 3 ]; then
    echo "expected the AVX2, AVX-512 and AVX-512 VBMI objects, found $checked" >&2
    status=1
fi
exit $status
