#pragma once
// Least-squares fit of one step scan with the pseudo-Voigt doublet on a flat
// background: damped Gauss-Newton cycles with Poisson weights.

#include "core/array.h"
#include "core/store.h"

namespace tarnivox {

using ScanArray = Arr1<double, MAXSTEPS>;
using ParArray = Arr1<double, 6>;

// x: step angles, y: counts, n steps; wave: (WAVE1, WAVE2); mshift: alpha2
// dispersion of the monochromator, deg; tth: 2theta of the reflection.
// par: start values in, refined values out (fixed ones untouched, IRATIO 0
// for a single line); iflag: 1 = refine.  icode: 0 finished, 1 singular or
// ill-conditioned, 2 no convergence in 200 cycles, 3 too few steps.
// esd: 0 for fixed parameters and for all of them when no cycle completed;
// code 3 also gives rwp = gof = 0 (no profile is calculated).
void PKLSQ(const ScanArray& x, const ScanArray& y, int n, const Arr1<double, 2>& wave, double mshift,
           double tth, ParArray& par, const Arr1<int, 6>& iflag, ScanArray& ycalc, ParArray& esd, double& rwp,
           double& gof, int& icode);

// Cycles the last PKLSQ call ran (0 after code 3): how much work a fit cost.
int last_pklsq_cycles();

}  // namespace tarnivox
