#pragma once
// Omega zero point and crystal offsets refined together with the
// orientation matrix.  An omega shift s moves the observed diffraction
// vector along its omega tangent g = d h_phi / d omega, so the observations
// follow h_phi = UB h + s g with s = OMZERO + (offset shift, linear in
// XTALOFF).  Part of any shift looks like a change of UB; solving UB and
// the shift parameters in one linear least squares (UB eliminated by
// projection) gives the complete shift at once, with esds, instead of the
// part that a fixed UB leaves over.

#include "refine/geometry.h"

namespace tarnivox {

// A solution of SHIFT_LSQ: the parameters found and their esds.
struct ShiftLsqResult {
    int nparam = 0;               // 1..4
    Arr1<double, 3> xtaloff;      // when offsets were refined
    double omzero = 0.0;          // when the zero point was refined
    Arr1<double, 3> xtaloff_esd;  // esds, same units
    double omzero_esd = 0.0;
    double variance = 0.0;        // variance of unit weight of the joint fit, 1/A^2
    // Covariance of the nine elements of UB in the joint fit (element
    // UB(i, k) is parameter 3(i - 1) + k): it carries the uncertainty of
    // the shifts into the cell.
    Arr2<double, 9, 9> ub_cov;
};

// Fits N reflections of the tables (observed omegas) with UB and the chosen
// shift parameters: the omega zero point when IZERO = 1, the three crystal
// offsets when IOFF = 1 (GONCON1 must be set).  0 success (the solution in
// out); 1 (out unchanged) when the indices do not span three dimensions, the
// shift parameters cannot be told apart from UB or from each other, or the
// data are not numbers.  Shows no message.
int SHIFT_LSQ(int N, const AngTable& ANG, const IhTable& IH, int IZERO, int IOFF, ShiftLsqResult& out);

}  // namespace tarnivox
