#!/usr/bin/env bash
# The numerical absorption correction against the simulator's Monte Carlo
# transmission: a needle and a plate at mu*t (smallest dimension) 0.5, 1.5
# and 3, CAD4 and STOE layouts, three seeds each.  For every run: the rms
# and largest relative difference of the transmissions, and the z-scores of
# the corrected intensities against the crystal's own (mean, sd; and per
# 2theta shell).  Then the time the correction adds to a reduction of
# 20,000 reflections.      bench/absorption_campaign.sh [BUILD_DIR] [MC_POINTS]
set -euo pipefail
build=$(realpath "${1:-build}")
points=${2:-400000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
compare() {  # plain.int corrected.int truth -> one line of figures
    python3 - "$@" <<'PY'
import sys, math
def rd(p):
    out = {}
    for line in open(p):
        if len(line) < 79: continue
        out[round(float(line[61:68])) // 10] = (float(line[42:53]), float(line[54:61]), float(line[9:17]), line[71])
    return out
def clorenz(tth):  # the simulated monochromator (12.16 deg), as the program's factor
    import math
    cm = math.cos(math.radians(12.16)); c = cm * cm
    t = math.radians(tth); c2 = math.cos(t)
    return (1 + c) * abs(math.sin(t)) / (c * c2 * c2 + 1)
plain, corr = rd(sys.argv[1]), rd(sys.argv[2])
truth = {}
for line in open(sys.argv[3]):
    if line.startswith('#'): continue
    f = line.split(); truth[int(f[0])] = (float(f[-1]), float(f[12]))
d, z, shells = [], [], {}
for s, (i, sig, tth, st) in corr.items():
    t, inten = truth[s]
    if plain[s][0] > 200: d.append(plain[s][0] / i / t - 1)
    if st != 'R' and inten > 0:
        zz = (i - clorenz(tth) * inten / t) / sig
        z.append(zz); shells.setdefault(min(int(tth // 15), 3), []).append(zz)
rms = math.sqrt(sum(x * x for x in d) / len(d)); mx = max(abs(x) for x in d)
m = sum(z) / len(z); sd = math.sqrt(sum((x - m) ** 2 for x in z) / len(z))
sh = " ".join("%d-%d:%.2f/%.2f" % (15 * k, 15 * k + 15, sum(v) / len(v),
              math.sqrt(sum((x - sum(v) / len(v)) ** 2 for x in v) / len(v))) for k, v in sorted(shells.items()))
print("T rms %.3f%% max %.3f%% (%d)  z mean %+.3f sd %.3f (%d)  shells %s" % (100 * rms, 100 * mx, len(d), m, sd, len(z), sh))
PY
}
needle() {  # mu*t -> faces of a needle 0.08 x 0.08 x 0.5 mm and its mu
    local mu; mu=$(python3 -c "print($1 / 0.08)")
    echo "--face 1 0 0 .04 --face -1 0 0 .04 --face 0 1 0 .04 --face 0 -1 0 .04 --face 0 0 1 .25 --face 0 0 -1 .25 --face 1 1 0 .05 --mu $mu"
}
plate() {  # mu*t -> faces of a plate 0.3 x 0.24 x 0.06 mm and its mu
    local mu; mu=$(python3 -c "print($1 / 0.06)")
    echo "--face 0 0 1 .03 --face 0 0 -1 .03 --face 1 0 0 .15 --face -1 0 0 .15 --face 0 1 0 .12 --face 0 -1 0 .12 --face 1 -1 0 .17 --mu $mu"
}
for format in cad4 stoe; do
    ext=dat; [ "$format" = stoe ] && ext=d00
    for shape in needle plate; do
        for mut in 0.5 1.5 3; do
            for seed in 1 2 3; do
                # shellcheck disable=SC2046
                "$build/tarnivox-simulate" --format "$format" --out x --seed "$seed" --nrefl 250 --intensity 20000 \
                    --mc-points "$points" $($shape "$mut") >/dev/null
                "$build/tarnivox" reduce "x.$ext" --format "$format" --par x.par --refine --form rfine --out p.int --quiet
                "$build/tarnivox" reduce "x.$ext" --format "$format" --par x.par --refine --form rfine --out c.int \
                    --quiet --absorption numerical --crystal x.cry
                printf '%-4s %-6s mu*t %-3s seed %s  ' "$format" "$shape" "$mut" "$seed"
                compare p.int c.int x.truth
            done
        done
    done
done
# Speed: 20,000 reflections of a needle at mu*t 1.5, with and without the correction.
# shellcheck disable=SC2046
"$build/tarnivox-simulate" --format cad4 --out big --seed 1 --nrefl 20000 --intensity 20000 --mc-points 100 \
    $(needle 1.5) >/dev/null
for run in 1 2 3; do
    t0=$(date +%s.%N); "$build/tarnivox" reduce big.dat --format cad4 --par big.par --refine --quiet --out a.hkl
    t1=$(date +%s.%N); "$build/tarnivox" reduce big.dat --format cad4 --par big.par --refine --quiet --out b.hkl \
        --absorption numerical --crystal big.cry
    t2=$(date +%s.%N)
    python3 -c "a=$t1-$t0; b=$t2-$t1; print('20000 reflections: %.2f s, with the correction %.2f s (+%.0f %%)' % (a, b, 100*(b-a)/a))"
done
