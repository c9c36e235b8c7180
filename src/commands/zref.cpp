#include "commands/zref.h"

#include "commands/window_messages.h"
#include "operations/zref.h"
#include "ui/dialogs.h"
#include "ui/preprocess_state.h"

namespace tarnivox {

void RUN_ZREF() {
    WAITBOX(1);
    SET_PREPROCESS(1, 1);
    MessageList messages;
    run_zref(messages);
    WAITBOX(0);
    show_messages(messages);
}

}  // namespace tarnivox
