// Routines of this subsystem that are not built yet: each does nothing
// until it moves to the file of its own topic.
#include "ui/files.h"

namespace tarnivox {

void OPEN_IN() {}
void OPEN_OUT() {}
void OPEN_LOG() {}
void OPEN_PAR(int& status) { status = 1; }
void OPEN_EXP() {}
void OPEN_SCANDATA(int& status) { status = 1; }
void OPEN_NEWSTD(int& status, int) { status = 1; }

}  // namespace tarnivox
