#pragma once
// The integrated-intensity file on unit 2: one record per fitted reflection,
// Lorentz-polarisation corrected, in the Rfine, Rfine extended or SHELX
// form chosen by INTFMT (1, 2, 3).

#include "core/array.h"

namespace tarnivox {

// Appends the current reflection to the intensity file (nothing when no
// output file is open).  Every record is on disk when it returns; a write
// error ends the run with "ERROR WRITING INTEGRATED DATA FILE".  A
// reflection whose fit was rejected (FITSTAT "R") is written as
// write_int(true) writes it.
void WRITE_INT();

// Appends the current reflection.  fit_rejected: its profile fit gave no
// intensity to trust; it is written with the summation over its expected
// peak (INTEGRATE_EXPECTED), scaled and Lorentz-polarisation corrected like
// a fitted one, with the omega where that peak is expected in place of the
// fitted POSITION, and counted in NSUMW; or, when REJOUT is 0, left out
// and counted in NREJOM.  The status characters are written as they stand.
void write_int(bool fit_rejected);

// Decimals ndec for value in a field w wide; ierr 1 when it cannot fit.
void DYNAMIC_FT(int w, double value, int& ndec, int& ierr);

}  // namespace tarnivox
