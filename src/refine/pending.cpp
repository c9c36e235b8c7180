// Routines of this subsystem that are not built yet: each does nothing
// until it moves to the file of its own topic.
#include "refine/commands.h"

namespace tarnivox {

void START_PREPROCESS() {}
void UB_FIT() {}
void RUN_ZREF() {}

}  // namespace tarnivox
