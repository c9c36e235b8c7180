#pragma once
// Least-squares fit of one step scan with the pseudo-Voigt doublet on a flat
// background: damped Gauss-Newton cycles with Poisson weights.

#include "core/array.h"
#include "core/store.h"

namespace tarnivox {

using ScanArray = Arr1<double, MAXSTEPS>;
using ParArray = Arr1<double, 6>;

// Limits within which eta is held during the fit.  When on, a start value
// outside them is brought to the nearer limit, a step that would carry eta
// across one stops eta at it, and while the normal equations keep pushing
// eta outward it is held there and the other parameters are refined
// without it; so eta never leaves [lo, hi].  Its esd (and those of the
// others) stay those of the full matrix: how well the scan defines them
// with eta free, which covers what holding eta may cost the intensity.
struct EtaLimits {
    bool on = false;
    double lo = 0.0, hi = 0.0;
};

// x: step angles, y: counts, n steps; wave: (WAVE1, WAVE2); mshift: alpha2
// dispersion of the monochromator, deg; tth: 2theta of the reflection.
// par: start values in, refined values out (fixed ones untouched, IRATIO 0
// for a single line); iflag: 1 = refine.  icode: 0 finished, 1 singular or
// ill-conditioned, 2 no convergence in 200 cycles, 3 too few steps.
// esd: 0 for fixed parameters and for all of them when no cycle completed;
// code 3 also gives rwp = gof = 0 (no profile is calculated).  eta_limits:
// see EtaLimits; they act only when ETA is refined and lo <= hi.
void PKLSQ(const ScanArray& x, const ScanArray& y, int n, const Arr1<double, 2>& wave, double mshift,
           double tth, ParArray& par, const Arr1<int, 6>& iflag, ScanArray& ycalc, ParArray& esd, double& rwp,
           double& gof, int& icode, const EtaLimits& eta_limits = EtaLimits{});

// Cycles the last PKLSQ call ran (0 after code 3): how much work a fit cost.
int last_pklsq_cycles();

}  // namespace tarnivox
