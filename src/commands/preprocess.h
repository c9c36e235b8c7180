#pragma once
// "Preprocess" (command 331) and "Calc UB" (command 332): the run that fits
// the strong reflections of the data set into the refinement list, and the
// refinement of UB, cell, omega zero and crystal offsets from that list.

namespace tarnivox {

// Shows the "Preprocessing Control" box and runs PREPROCESS on "Go".
void START_PREPROCESS();
// Fits the data set, one reflection per timer tick, and fills the list.
void PREPROCESS();
// Runs the refinement chosen in the "Unit Cell Refinement" box, logs it and
// shows the results.
void UB_FIT();

}  // namespace tarnivox
