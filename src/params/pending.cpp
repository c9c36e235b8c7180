// Routines of this subsystem that are not built yet: each does nothing
// until it moves to the file of its own topic.
#include "params/defaults.h"
#include "params/fit_settings.h"
#include "params/parameters.h"

namespace tarnivox {

void set_program_path(std::string_view) {}
void READ_DEFAULTS_FROM_FILE() {}
void WRITE_DEFAULTS_TO_FILE() {}
void READ_PARAMETERS() {}
void RUN_PKVALS(int& icancel) { icancel = 1; }

}  // namespace tarnivox
