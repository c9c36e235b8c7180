#include "import/step_width.h"

#include <utility>

#include "io/file_records.h"
#include "ui/dialogs.h"

namespace tarnivox {
namespace {

StepWidthSource& source() {
    static StepWidthSource s;
    return s;
}

}  // namespace

void set_step_width_source(StepWidthSource s) { source() = std::move(s); }

void ASK_STEP_WIDTH(double& step) {
    if (!source()) {
        GET_STEP_SIZE(step);
        return;
    }
    step = source()();
    log_step_given(step);
}

}  // namespace tarnivox
