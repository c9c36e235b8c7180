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

// Reciprocal of the Lorentz-polarisation factor at 2theta tth (degrees),
// with or without the monochromator of the instrument settings.
double CLORENZ(double tth);

// Decimals ndec for value in a field w wide; ierr 1 when it cannot fit.
void DYNAMIC_FT(int w, double value, int& ndec, int& ierr);

// Brings an angle into (-180, 180] degrees.
void WRAP(double& angle);

// Incident (dc 1..3) and diffracted (dc 4..6) beam vectors in the
// goniometer-head frame from the setting angles (2theta, omega, chi, phi).
void CALC_DIRNCOSINES(const Arr1<double, 4>& ang, Arr1<double, 6>& dc);

// The six direction cosines relative to the reciprocal axes, in SHELX
// order (u.a*, v.a*, u.b*, v.b*, u.c*, v.c*), from UBT and RCELL.
void DC_TOSHELX(const Arr1<double, 6>& dc, Arr1<double, 6>& dcs);

}  // namespace tarnivox
