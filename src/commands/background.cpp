#include "commands/background.h"

#include "commands/window_messages.h"
#include "operations/background.h"
#include "operations/scan_walk.h"
#include "ui/dialogs.h"

namespace tarnivox {

void PROCESS_BACKGROUND() {
    // The background model is learned from the data set's scans: none, no model.
    WindowMessages shown;
    if (!data_set_to_walk(shown)) return;
    model_background();
    RUN_BACKGROUND_INFO();
}

}  // namespace tarnivox
