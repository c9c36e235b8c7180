// Routines of this subsystem that are not built yet: each does nothing
// until it moves to the file of its own topic.
#include "output/reports.h"

namespace tarnivox {


}  // namespace tarnivox
