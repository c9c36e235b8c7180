#pragma once
// Waiting for the controls of a modal box.

#include <initializer_list>

namespace tarnivox {

// Waits until one of `commands` arrives and returns it; any other command
// only redraws the box.
//
// The main window's close control while a box waits: a box with a quit
// control (`quit`, one of `commands`) is answered as by that control, so
// the window can still be closed after the box is gone.  A box without one
// (quit 0: its OK is needed to go on) keeps waiting for its own controls.
// The command loop and the fitting runs are not modal boxes: there the
// close control ends the program (the command loop asks first).
int wait_modal(int box, std::initializer_list<int> commands, int quit = 0);

}  // namespace tarnivox
