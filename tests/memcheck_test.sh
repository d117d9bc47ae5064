#!/bin/bash
# valgrind's memcheck over somrun for every program: no invalid access, no leak.
# (valgrind computes x87 reals in 64 bits, so the weights differ from a native run;
# memcheck looks only at memory.)
set -euo pipefail
somrun=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for program in solidanim solidfit tessfour chainanim tessnine planeanim planeskew planegauss; do
    valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
        "$somrun" "$program" --seed 3 --size 601x601 --keys-after 2000 --out "$scratch/$program"
    echo "$program: memcheck clean"
done
