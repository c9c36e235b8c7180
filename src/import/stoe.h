#pragma once
// Reader of STOE four-circle step-scan data files (input format 5).

namespace tarnivox {

void READ_HEADER_STOE(int& status);
void READ_SCAN_STOE(int& status);

}  // namespace tarnivox
