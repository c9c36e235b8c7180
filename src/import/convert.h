#pragma once
// The import driver: turns the chosen input data file into the standard
// scan file on LUSCR, through the reader pair of its format.

#include <string_view>

namespace tarnivox {

// Imports the input data file into the standard scan file on LUSCR.  The
// caller logs how the reflections were classified (WRITE_INPUT, output/).
void CONVERT_FILE(int& status);
// Calls the header reader of INFMT; moves a supplied UB to Busing-Levy axes
// and derives the cell from it.
void READ_HEADER(int& status);
void SET_SCANCODES_ZERO();
// Counts one reflection of classification letter W, M, R, S, F, I or N.
void SUM_SCANTYPES(char letter);

}  // namespace tarnivox
