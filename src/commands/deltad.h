#pragma once
// "Delta-d/d" (336): the delta-d/d check of the refinement list.

namespace tarnivox {

void RUN_DELTAD();

}  // namespace tarnivox
