// Routines of this subsystem that are not built yet: each does nothing
// until it moves to the file of its own topic.
#include "fitting/commands.h"

namespace tarnivox {

void FIT_GAMMA() {}

}  // namespace tarnivox
