#include "ui/message_boxes.h"

#include "core/messages.h"
#include "ui/dialogs.h"
#include "toolkit/toolkit.h"

namespace tarnivox {

void show_message_box(const Message& m) {
    switch (m.kind) {
        case MessageKind::Information:
            GMDISPLAYMESSAGEBOX(m.title, m.text, GM_ICON_INFORMATION, GM_BUTTONS_OK);
            break;
        case MessageKind::Notice:
        case MessageKind::Summary: GMDISPLAYMESSAGEBOX(m.title, m.text, GM_ICON_NOTICE, GM_BUTTONS_OK); break;
        case MessageKind::Error: GMDISPLAYERRORBOX(m.title, m.text); break;
    }
}

void show_messages_in_window() {
    set_message_sink(show_message_box);
    set_busy_sink([](bool busy) { WAITBOX(busy ? 1 : 0); });
}

}  // namespace tarnivox
