#pragma once
// The fit controls of a run put in force for each scan it fits: the
// switches and limit tests of the fit, and start values computed for the
// scan with the typed FWHM, eta and alpha2 ratio where the model's are not
// chosen.  The controls are read once, at the start of the run, so that
// every scan starts from the same typed values.

#include "core/store.h"

namespace tarnivox {

// Sets IREF, IFIX, ICHK, the limits of the tests that are on, and PAR for
// the scan in the record.
void apply_fit_controls(const FitControls& controls);

}  // namespace tarnivox
