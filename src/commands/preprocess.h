#pragma once
// "Preprocess" (331): the refinement list of fitted strong reflections;
// "Calc UB" (332): the orientation matrix refined from it.

namespace tarnivox {

void START_PREPROCESS();
void UB_FIT();

}  // namespace tarnivox
