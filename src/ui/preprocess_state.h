#pragma once

namespace tarnivox {

// Records whether a refinement list of fitted strong reflections exists
// and enables or greys the menu entries that need one.
void SET_PREPROCESS(int iflag, int iopt);

}  // namespace tarnivox
