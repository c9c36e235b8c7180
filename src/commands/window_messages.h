#pragma once
// The window's side of an operation's messages: each is shown in the box
// of its kind (an information or notice box with OK, or an error box).

#include "operations/operation.h"

namespace tarnivox {

// Shows the messages of a list in order (for boxes that must wait until
// the window has been set back after the operation).
void show_messages(const MessageList& list);

// Shows every message as it comes.
struct WindowMessages : Messages {
    void message(const Message& m) override;
};

}  // namespace tarnivox
