#pragma once
// Reader of the step-scan file of a Philips diffractometer in the Febo
// layout (input format 6).

namespace tarnivox {

void READ_HEADER_FEBO(int& status);
void READ_SCAN_FEBO(int& status);
// Numbers the standard of IHKL in ISCTYPE, registering it when it is new.
// status 0, or 1 when ten standards are already registered.
void MATCH_STANDARD(int& status);

}  // namespace tarnivox
