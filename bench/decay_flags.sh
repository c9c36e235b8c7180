#!/usr/bin/env bash
# How often the report calls a stable crystal decaying, and whether it sees
# a real loss: simulates N CAD4 data sets without decay and M with a linear
# loss of 5 % over the run (2,000 reflections; a standard, of three in turn,
# after every 20),
# reduces each with `tarnivox reduce --report --json` and counts the runs
# whose summary has `report.decay_flagged` (|decay| > 3 esd).
#   bench/decay_flags.sh [BUILD_DIR] [N] [M]       (defaults: build 100 10)
# Prints one line per set class and the false-flag rate; exits 1 when more
# than 2 of the stable sets or fewer than all decaying sets are flagged.
set -euo pipefail
build=$(realpath "${1:-build}")
stable=${2:-100}
decaying=${3:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Prints "flagged decay esd" of one simulated set.
run_one() {  # seed decay
    local dir="$work/s$1_$2"
    mkdir -p "$dir"
    "$build/tarnivox-simulate" --format cad4 --out "$dir/xtal" --seed "$1" --nrefl 2000 --std-interval 20 \
        --decay "$2" linear >/dev/null
    "$build/tarnivox" reduce "$dir/xtal.dat" --format cad4 --par "$dir/xtal.par" --quiet \
        --report "$dir/xtal.html" --json "$dir/s.json" >/dev/null 2>&1 || true
    python3 - "$dir/s.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["runs"][0]["report"]
print(int(bool(r["decay_flagged"])), r["decay_percent"], r["decay_esd_percent"])
PY
    rm -rf "$dir"
}

count() {  # first_seed n decay -> flagged count; prints each set
    local flagged=0 line
    for ((s = $1; s < $1 + $2; s++)); do
        line=$(run_one "$s" "$3")
        echo "  seed $s decay $3: flagged decay esd = $line" >&2
        flagged=$((flagged + ${line%% *}))
    done
    echo "$flagged"
}

f0=$(count 1 "$stable" 0)
f5=$(count 1001 "$decaying" 0.05)
printf 'no decay:  %d of %d flagged (false-flag rate %.1f %%)\n' "$f0" "$stable" \
    "$(awk -v f="$f0" -v n="$stable" 'BEGIN {print 100 * f / n}')"
printf '5 %% decay: %d of %d flagged\n' "$f5" "$decaying"
[ "$f0" -le 2 ] && [ "$f5" -eq "$decaying" ]
