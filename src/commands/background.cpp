#include "commands/background.h"

#include "operations/background.h"
#include "ui/dialogs.h"

namespace tarnivox {

void PROCESS_BACKGROUND() {
    model_background();
    RUN_BACKGROUND_INFO();
}

}  // namespace tarnivox
