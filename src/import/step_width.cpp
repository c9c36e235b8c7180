#include "import/step_width.h"

#include <utility>

#include "core/store.h"
#include "io/file_records.h"

namespace tarnivox {
namespace {

StepWidthSource& source() {
    static StepWidthSource s;
    return s;
}

const bool kResetWithStore = [] {
    register_outside_state_reset([] { source() = nullptr; });
    return true;
}();

}  // namespace

void set_step_width_source(StepWidthSource s) { source() = std::move(s); }

StepWidthSource current_step_width_source() { return source(); }

bool ASK_STEP_WIDTH(double& step) {
    if (!source()) return false;
    step = source()();
    log_step_given(step);
    return true;
}

}  // namespace tarnivox
