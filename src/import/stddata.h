#pragma once
#include "core/array.h"

namespace tarnivox {

// Rewinds the standard scan file and reads to just past its DATA line.
void SKIP_HEADER_STDDATA(int unit, int& status);
// Reads one reflection into the current scan record (mode 0 next,
// -1 previous, 1 by number, 2 by indices).
void READ_SCAN_STDDATA(int unit, int mode, int nref, const Arr1<int, 3>& hkl, int& status);

}  // namespace tarnivox
