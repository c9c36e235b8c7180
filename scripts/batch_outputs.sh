#!/usr/bin/env bash
# Regression aid for the command line: runs `tarnivox reduce` and
# `tarnivox convert` over every example data set with the option sets of
# the batch tests and keeps every file each run writes (intensities, logs,
# CIF, standard file, JSON summary, standard output and error), so that two
# builds can be compared byte for byte.
#
#   scripts/batch_outputs.sh PROGRAM OUTDIR      # run
#   scripts/batch_outputs.sh --compare DIR1 DIR2 # compare two runs
#
# Dates, elapsed seconds and the run's own folder are the only texts that
# differ between two runs; --compare masks them (and only them).
set -euo pipefail

mask() {
    sed -E -e 's/(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}/<date>/g' \
        -e 's/"elapsed_seconds": [0-9.e+-]+/"elapsed_seconds": <t>/g' \
        -e 's/\([0-9]+\.[0-9]+ s\)/(<t> s)/g' \
        -e "s#$2#<dir>#g" "$1"
}

if [[ "${1:-}" == "--compare" ]]; then
    a=$(cd "$2" && pwd) b=$(cd "$3" && pwd) status=0
    diff <(cd "$a" && find . -type f | sort) <(cd "$b" && find . -type f | sort) || status=1
    n=0 masked=0
    while IFS= read -r f; do
        [[ -f "$b/$f" ]] || continue
        n=$((n + 1))
        if ! cmp -s "$a/$f" "$b/$f"; then
            if cmp -s <(mask "$a/$f" "$a") <(mask "$b/$f" "$b"); then
                masked=$((masked + 1))
            else
                echo "DIFFERENT: $f"
                status=1
            fi
        fi
    done < <(cd "$a" && find . -type f | sort)
    echo "$n files compared; $masked of them differ only in dates, times or the run's folder"
    exit $status
fi

program=$(realpath "$1")
out=$2
examples=$(cd "$(dirname "$0")/../examples" && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)

# example  format  data file  extra options of the format
sets=(
    "cad4 cad4 cad4.dat -"
    "cad4_large cad4 cad4_large.dat -"
    "febo febo febo.feb --step=0.02"
    "huber huber huber.dat --step=0.02"
    "standard standard standard.rfl -"
    "stoe stoe stoe.d00 -"
    "xcalibur xcalibur xcalibur.dca -"
    "xcalibur_old xcalibur xcalibur_old.dca -"
    "xscans xscans xscans.p4t -"
)
# name  options
runs=(
    "plain|"
    "rfine|--form rfine"
    "rfine_extended|--form rfine-extended --rejected omit"
    "log|--log given.log"
    "refine|--refine"
    "refine_offsets_zero|--refine --offsets --omega-zero"
    "symmetry|--refine --symmetry orthorhombic"
    "symmetry_monoclinic|--refine --symmetry monoclinic-b"
    "cif|--cif"
    "weak_profile|--weak-profile --cif"
    "strict|--strict"
)

one() {  # dir, then the arguments of the program
    local dir=$1
    shift
    (cd "$dir" && set +e && "$program" "$@" >stdout.txt 2>stderr.txt; echo "status $?" >>stdout.txt)
}

for s in "${sets[@]}"; do
    read -r ex fmt data extra <<<"$s"
    [[ $extra == - ]] && extra=""
    for r in "${runs[@]}"; do
        name=${r%%|*} opts=${r#*|}
        dir=$out/$ex/$name
        rm -rf "$dir" && mkdir -p "$dir"
        cp "$examples/$ex/$data" "$examples/$ex/$ex.par" "$dir/"
        # shellcheck disable=SC2086
        one "$dir" reduce "$data" --format "$fmt" --par "$ex.par" $extra $opts --json summary.json
    done
    dir=$out/$ex/convert
    rm -rf "$dir" && mkdir -p "$dir"
    cp "$examples/$ex/$data" "$examples/$ex/$ex.par" "$dir/"
    # shellcheck disable=SC2086
    one "$dir" convert "$data" --format "$fmt" --par "$ex.par" $extra --out copy.rfl --json summary.json
done
echo "outputs in $out"
