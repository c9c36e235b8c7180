#include "commands/window_messages.h"

#include "ui/message_boxes.h"

namespace tarnivox {

void show_messages(const MessageList& list) {
    for (const Message& m : list.all) show_message_box(m);
}

void WindowMessages::message(const Message& m) { show_message_box(m); }

}  // namespace tarnivox
