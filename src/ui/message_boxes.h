#pragma once
// The window's side of the message sink: the boxes the routines below the
// window report are shown as the toolkit's message and error boxes, and
// their wait box as the "please wait" dialog.

#include "core/messages.h"

namespace tarnivox {

// Shows one message in the box of its kind.
void show_message_box(const Message& m);

// Wires the message and busy sinks to the window's boxes.
void show_messages_in_window();

}  // namespace tarnivox
