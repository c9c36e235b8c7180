// Commands that are not built yet: each does nothing until it moves to the
// file of its own topic (src/commands/<topic>.cpp, beside its header).
#include "commands/cif.h"
#include "commands/deltad.h"

namespace tarnivox {

void RUN_DELTAD() {}
void CREATE_CIF_TARNIVOX() {}

}  // namespace tarnivox
