// Routines of this subsystem that are not built yet: each does nothing
// until it moves to the file of its own topic.
#include "params/defaults.h"
#include "params/fit_settings.h"
#include "params/parameters.h"

namespace tarnivox {

void set_program_path(std::string_view) {}
void READ_DEFAULTS_FROM_FILE() {}
void WRITE_DEFAULTS_TO_FILE() {}

void SET_FIT_PARAMETERS() {}
void SET_DEFAULT_PARAMETERS() {}
void READ_FIT_PARAMETERS() {}
void WRITE_FIT_PARAMETERS() {}
void WRITE_REFINED_PARAMETERS() {}
void RUN_PKVALS(int& icancel) { icancel = 1; }
void WRITE_PKVALS() {}
void READ_PKVALS() {}
void WRITE_BGVALS() {}
void READ_BGVALS() {}

}  // namespace tarnivox
