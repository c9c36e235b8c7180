#pragma once
// The fit-control settings and their exchange with the dialogs: the fit
// controls, the peak-parameter defaults and the fixed background options.

namespace tarnivox {

void SET_FIT_PARAMETERS();
void SET_DEFAULT_PARAMETERS();
void READ_FIT_PARAMETERS();
void WRITE_FIT_PARAMETERS();
void WRITE_REFINED_PARAMETERS();
// The peak-parameter defaults dialog; icancel is 1 when left without storing.
void RUN_PKVALS(int& icancel);
void WRITE_PKVALS();
void READ_PKVALS();
// The values of the "Fixed Background Options" dialog.
void WRITE_BGVALS();
void READ_BGVALS();

}  // namespace tarnivox
