// Routines of this subsystem that are not built yet: each does nothing
// until it moves to the file of its own topic.
#include "params/defaults.h"
#include "params/parameters.h"

namespace tarnivox {



}  // namespace tarnivox
