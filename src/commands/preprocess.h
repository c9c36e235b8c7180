#pragma once
// "Preprocess" (command 331) and "Calc UB" (command 332) in the window:
// the "Preprocessing Control" box and the timer run of the preprocessing
// operation, and the "Unit Cell Refinement" box, the cell refinement and
// its results box.

#include "operations/refine_cell.h"

namespace tarnivox {

// Shows the "Preprocessing Control" box and runs PREPROCESS on "Go".
void START_PREPROCESS();
// Fits the data set, one reflection per timer tick, and fills the list.
void PREPROCESS();
// Runs the refinement chosen in the "Unit Cell Refinement" box and shows
// the results (refine_cell: a refinement that fails or is refused leaves
// UB, the cell with its esds, OMZERO and XTALOFF as they were and sets
// UBFAIL).
void UB_FIT();

}  // namespace tarnivox
