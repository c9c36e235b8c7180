#pragma once
// The fit controls of a run put in force for each scan it fits: the
// switches and limit tests of the fit, and start values computed for the
// scan with the typed FWHM, eta and alpha2 ratio where the model's are not
// chosen.  The controls are read once, at the start of the run, so that
// every scan starts from the same typed values.

#include <optional>

#include "core/store.h"
#include "operations/operation.h"

namespace tarnivox {

// Sets IREF, IFIX, ICHK, the limits of the tests that are on, and PAR for
// the scan in the record.
void apply_fit_controls(const FitControls& controls);

// A switch, limit or typed value of the fit controls changed: the controls
// (the store's when absent) and the "Skip weak reflns" switch are put in
// force and, when the scan record holds a reflection, start values are
// computed for it.  The controls now in force.
FitControls change_fit_controls(const std::optional<FitControls>& controls, std::optional<int> skip_weak);

// "Reset to Defaults": the instrument parameter file is read again (its
// messages go to `messages`) and the start values for the reflection in
// the scan record come from its defaults alone.  The controls now in force.
FitControls reset_fit_controls(Messages& messages);

}  // namespace tarnivox
