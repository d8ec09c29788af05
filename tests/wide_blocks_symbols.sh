#!/bin/sh
# The code compiled for AVX2 and AVX-512 is reached only through its one
# entry each: were a shared inline function compiled there too, the linker
# could take that copy for the whole program, which would then run it on a
# processor without those instructions. So each such object defines its
# entry and nothing else that the linker could share.
#   wide_blocks_symbols.sh object...
status=0
for object in "$@"; do
    case $object in
    *plain_text_avx*) ;;
    *) continue ;;
    esac
    shared=$(nm --defined-only "$object" | awk '$2 !~ /^[a-z]$/ && $3 !~ /count_plain_text_avx/')
    if [ -n "$shared" ]; then
        echo "$object defines more than its entry: $shared" >&2
        status=1
    fi
done
exit $status
