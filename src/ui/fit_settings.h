#pragma once
// The fit-control settings and their exchange with the dialogs: the fit
// controls, the peak-parameter defaults and the fixed background options.

#include "core/store.h"

namespace tarnivox {

void SET_FIT_PARAMETERS();
void SET_DEFAULT_PARAMETERS();
void READ_FIT_PARAMETERS();
void WRITE_FIT_PARAMETERS();
void WRITE_REFINED_PARAMETERS();

// The fit controls as the "Fitting Controls & Results" box holds them (what
// READ_FIT_PARAMETERS takes): the refine and start-value switches, the six
// typed start values, the limit tests and the limits of the tests that are
// on, over the store's controls.  The store's when the box is not built.
FitControls fit_controls_in_box();
// What a reflection newly reached takes from the box (what
// SET_FIT_PARAMETERS reads): the refine and start-value switches and the
// typed start values over the store's controls, whose limits stay as last
// read.
FitControls start_choices_in_box();
// The "Skip weak reflns" switch of the box; the store's when not built.
int skip_weak_in_box();
// Shows fit controls in the box (what WRITE_FIT_PARAMETERS shows of the
// store): the start values, the switches, the limit tests and their limits.
void show_fit_controls(const FitControls& c);
// The peak-parameter defaults dialog; icancel is 1 when left without storing.
void RUN_PKVALS(int& icancel);
void WRITE_PKVALS();
void READ_PKVALS();
// The values of the "Fixed Background Options" dialog.
void WRITE_BGVALS();
void READ_BGVALS();

}  // namespace tarnivox
