#pragma once
// "Delta-d/d": for every reflection of the refinement list, the relative
// difference of the d-spacing from its observed 2theta and from the
// current reciprocal cell, listed in the log and plotted against 2theta.

namespace tarnivox {

// Log records of the list (when the log is open), then the data-set plot.
void RUN_DELTAD();

// The cell-parameter dialog of the check: none is shown; ICANCEL <- 0.
void RUN_CELLPARAM_DIALOG(int& ICANCEL);

}  // namespace tarnivox
