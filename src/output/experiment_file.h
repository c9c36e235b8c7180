#pragma once
// The experiment file (unit 26): a report of the reduction run that also
// describes the instrument in Busing-Levy conventions.  CREATE_EXP, the
// command that writes it, is declared with the other reports.

#include "output/reports.h"

namespace tarnivox {

// The wavelength, monochromator, parity and axis keywords, in the form of
// the instrument parameter file.
void WRITE_INSTRUMENT_BLOCK(int unit);

}  // namespace tarnivox
