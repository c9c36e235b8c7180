#pragma once
// The integrated-intensity file on unit 2: one record per fitted reflection,
// Lorentz-polarisation corrected, in the Rfine, Rfine extended or SHELX
// form chosen by INTFMT (1, 2, 3).

#include <string>

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

// The esd a SHELX record gives a reflection whose esd is too wide for its
// field: the mark of an unusable reflection.
inline constexpr double SHELX_NO_ESD = 999999.0;

// Whether the corrected intensity fi and esd fsig of a reflection can be
// written, and with how many decimals: d1 for the intensity (F7 in the
// SHELX form, F11 in the Rfine forms), d2 for the esd (F7).  A SHELX esd
// too wide for its field becomes SHELX_NO_ESD in fsig.
enum class RecordFit { Fits, Overflow, NoEsd };
RecordFit record_decimals(bool shelx, double fi, double& fsig, int& d1, int& d2);

// The record layouts of the SHELX form (without direction cosines) and the
// Rfine form, with d1 decimals for the intensity and d2 for its esd.
std::string shelx_record_layout(int d1, int d2);
std::string rfine_record_layout(int d1, int d2);

// The message that names a reflection not written because its values do
// not fit the record.
std::string overflow_text(int nref);

}  // namespace tarnivox
