#pragma once
// Reader of STOE four-circle step-scan data files (input format 5).

#include <string>

namespace tarnivox {

void READ_HEADER_STOE(int& status);
void READ_SCAN_STOE(int& status);
// The step width of the header (STEP): empty when plausible, else the value
// out of range for the import's message.
std::string stoe_step_out_of_range();

}  // namespace tarnivox
