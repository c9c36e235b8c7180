#pragma once
// "Zref" (335): the omega zero point from the refinement list.

namespace tarnivox {

void RUN_ZREF();

}  // namespace tarnivox
