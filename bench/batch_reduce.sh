#!/usr/bin/env bash
# The executable as a shell runs it: `tarnivox reduce` over the 2,000-
# reflection CAD4 example against `tarnivox --script` with the same choices
# (the whole process: start, import, fit and write every reflection, end).
# Prints the median of N runs of each and their ratio; the batch should
# cost at most 10 % more.   bench/batch_reduce.sh [BUILD_DIR] [N]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-build}/tarnivox")
runs=${2:-9}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/examples/cad4_large/cad4_large.dat" "$here/examples/cad4_large/cad4_large.par" "$work/"
cat >"$work/reduce.script" <<'SCRIPT'
file cad4_large.dat 7
press "Input Data file Format" "Enraf CAD4"
press "Input Data file Format" OK
browse cad4_large.par
press File "Open output file"
file script.hkl 2
press Integrate "Auto profile fit"
press "Peak parameter default values" "Save + Exit"
press main Start
close
answer yes
SCRIPT

seconds() {  # command... -> elapsed seconds of one run
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s.%N)
    awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}'
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

batch=() script=()
for ((i = 0; i < runs; i++)); do
    batch+=("$(seconds "$program" reduce "$work/cad4_large.dat" --format cad4 --par "$work/cad4_large.par" \
        --out "$work/batch.hkl" --quiet)")
    script+=("$(seconds "$program" --script "$work/reduce.script")")
done
cmp "$work/batch.hkl" "$work/script.hkl" && echo "same bytes: batch.hkl and script.hkl"
b=$(printf '%s\n' "${batch[@]}" | median)
s=$(printf '%s\n' "${script[@]}" | median)
printf 'tarnivox reduce   median of %d: %.3f s\n' "$runs" "$b"
printf 'tarnivox --script median of %d: %.3f s\n' "$runs" "$s"
awk -v b="$b" -v s="$s" 'BEGIN {printf "batch / script: %.3f\n", b / s}'
