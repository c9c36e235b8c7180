// Routines of this subsystem that are not built yet: each does nothing
// until it moves to the file of its own topic.
#include "import/convert.h"
#include "import/export.h"
#include "import/stddata.h"

namespace tarnivox {


}  // namespace tarnivox
