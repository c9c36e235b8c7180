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
// shows the results.  A refinement that fails or is refused leaves UB, the
// cell with its esds, OMZERO and XTALOFF as they were and sets UBFAIL.
void UB_FIT();

// Why a UB fit failed or was refused (UBFAIL).
inline constexpr int UB_FIT_SINGULAR = 1;           // the least squares are singular
inline constexpr int UB_FIT_NO_REDUNDANCY = 2;      // no observation to spare
inline constexpr int UB_FIT_SHIFT_FAILED = 3;       // zero point or offsets not refinable
inline constexpr int UB_FIT_WRONG_SYMMETRY = 4;     // the data lack the chosen symmetry
inline constexpr int UB_FIT_CONSTRAINTS_UNMET = 5;  // the cell does not meet its constraints
inline constexpr int UB_FIT_TOO_FEW = 6;            // fewer than 3 list entries
// The log's text for a UBFAIL reason; empty for 0.
const char* ub_fit_failure_text(int reason);

}  // namespace tarnivox
