#pragma once
// Reader of the ASCII step-scan files (DCA) of Xcalibur kappa
// diffractometers (input format 3), in the older layout and in the newer
// one whose header names its version.

#include <string>

namespace tarnivox {

void READ_HEADER_XCAL(int& status);
void READ_SCAN_XCAL(int& status);
// The scan constants of the header (steps of a scan, the scan-width law):
// empty when plausible, else the value out of range for the import's
// message.
std::string xcalibur_scan_constants_out_of_range();
// Reads the next line of the input file, counting every line read since the
// start of the run.  A read error, or a first character other than
// `expected` (when that is not blank), ends the run with the line number.
void GET_LINE(std::string& line, char expected, bool& end);

}  // namespace tarnivox
