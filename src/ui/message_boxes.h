#pragma once
// The window's side of the message sink: the boxes the routines below the
// window report are shown as the toolkit's message and error boxes, and
// their wait box as the "please wait" dialog.

namespace tarnivox {

// Wires the message and busy sinks to the window's boxes.
void show_messages_in_window();

}  // namespace tarnivox
