#!/usr/bin/env bash
# Regression aid: runs the program headless over every example data set and
# keeps every file it writes, so that two builds can be compared byte for
# byte.  For each example: open it with its format and parameter file,
# create the log, write a SHELX .hkl by the automatic fit, model the
# background (which also rewinds the scan file), accept three reflections
# of a manual fit into an Rfine .int, export one scan, model the
# background again, fit every reflection into the .int automatically,
# write the experiment file, export the data set as a standard file, end.
#
#   tools/run_examples.sh PROGRAM OUTDIR      # run
#   tools/run_examples.sh --compare DIR1 DIR2 # compare two runs
#
# The creation date in the log and the experiment file is the only text
# that differs between two runs; --compare masks it (and only it).
set -euo pipefail

mask_dates() {
    sed -E 's/(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}/<date>/g' "$1"
}

if [[ "${1:-}" == "--compare" ]]; then
    a=$2 b=$3 status=0
    diff <(cd "$a" && find . -type f | sort) <(cd "$b" && find . -type f | sort) || status=1
    n=0 dated=0
    while IFS= read -r f; do
        [[ -f "$b/$f" ]] || continue
        n=$((n + 1))
        if ! cmp -s "$a/$f" "$b/$f"; then
            if cmp -s <(mask_dates "$a/$f") <(mask_dates "$b/$f"); then
                dated=$((dated + 1))
            else
                echo "DIFFERENT: $f"
                status=1
            fi
        fi
    done < <(cd "$a" && find . -type f | sort)
    echo "$n files compared; $dated of them differ only in the creation date"
    exit $status
fi

program=$(realpath "$1")
out=$(realpath -m "$2")
here=$(cd "$(dirname "$0")/.." && pwd)
rm -rf "$out"
mkdir -p "$out"

# folder, data file, label of the format dialog
examples=(
    "cad4 cad4.dat Enraf_CAD4"
    "cad4_large cad4_large.dat Enraf_CAD4"
    "stoe stoe.d00 Stoe"
    "huber huber.dat Old_Single"
    "febo febo.feb Phillips_Febo"
    "xcalibur xcalibur.dca Xcalibur"
    "xcalibur_old xcalibur_old.dca Xcalibur"
    "xscans xscans.p4t Xscans"
    "standard standard.rfl Standard"
)

for entry in "${examples[@]}"; do
    read -r dir file radio <<< "$entry"
    radio=${radio//_/ }
    work="$out/$dir"
    mkdir -p "$work"
    cp "$here/examples/$dir/"* "$work/"
    step=""
    [[ $dir == huber || $dir == febo ]] && step="command 672"
    cat > "$work/run.script" <<SCRIPT
file $file
toggle "Input Data file Format" "$radio" on
press "Input Data file Format" OK
browse $dir.par
$step
command 315
browse run.log
command 314
file $dir.hkl 2
command 322
press "Peak parameter default values" "Save + Exit"
press main Start
command 333
command 579
command 314
file $dir.int 1
command 321
command 111
command 103
command 111
command 104
command 111
command 120
browse scan.dat
command 101
command 333
command 579
command 322
press "Peak parameter default values" "Save + Exit"
press main Start
command 317
browse run.exp
command 319
file copy.rfl
svg last-scan.svg
command 316
answer yes
SCRIPT
    (cd "$work" && "$program" --script run.script > stdout.txt 2>&1; echo "exit $?" >> stdout.txt)
    sed -i "s#$out/#OUT/#g" "$work/stdout.txt"
    rm -f "$work/run.script"
    for f in "$here/examples/$dir/"*; do rm -f "$work/$(basename "$f")"; done
done
echo "outputs in $out"
