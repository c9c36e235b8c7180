#pragma once
// "Zref" (command 335): the zero-point refinement over the refinement list.

namespace tarnivox {

// Finds the groups of eight equivalent settings in the refinement list,
// evaluates each (zero errors, true angles, crystal offset), logs them and
// replaces the list by one entry per group with its true angles.
void RUN_ZREF();

}  // namespace tarnivox
