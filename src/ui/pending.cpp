// Routines of this subsystem that are not built yet: each does nothing
// until it moves to the file of its own topic.
#include "ui/dialogs.h"
#include "ui/files.h"
#include "ui/graphics.h"

namespace tarnivox {

void OPEN_IN() {}
void OPEN_OUT() {}
void OPEN_LOG() {}
void OPEN_PAR(int& status) { status = 1; }
void OPEN_EXP() {}
void OPEN_SCANDATA(int& status) { status = 1; }
void OPEN_NEWSTD(int& status, int) { status = 1; }

void GRAPHICS_SETUP() {}
void END_GRAPHICS() {}
void SHOW_TITLE() {}

void GETFORMAT() {}
void RUN_GENERAL_INFO() {}
void WRITE_GENERAL_INFO() {}
void RUN_BACKGROUND_INFO() {}
void RUN_INTFORMAT() {}
void RUN_REFINEMENT_BOX(int& go, int& offsets, int& omega_zero, int& crystal_system) {
    go = offsets = omega_zero = crystal_system = 0;
}
void RUN_RESULTS_BOX(int) {}
void WAITBOX(int) {}
void GET_STEP_SIZE(double& step) { step = 0.02; }
void NOPARFILE(int& give_up) { give_up = 1; }

}  // namespace tarnivox
