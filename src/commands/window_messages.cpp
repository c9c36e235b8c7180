#include "commands/window_messages.h"

#include "ui/toolkit/toolkit.h"

namespace tarnivox {

void show_message(const Message& m) {
    switch (m.kind) {
        case MessageKind::Information:
            GMDISPLAYMESSAGEBOX(m.title, m.text, GM_ICON_INFORMATION, GM_BUTTONS_OK);
            break;
        case MessageKind::Notice: GMDISPLAYMESSAGEBOX(m.title, m.text, GM_ICON_NOTICE, GM_BUTTONS_OK); break;
        case MessageKind::Error: GMDISPLAYERRORBOX(m.title, m.text); break;
    }
}

void show_messages(const MessageList& list) {
    for (const Message& m : list.all) show_message(m);
}

}  // namespace tarnivox
