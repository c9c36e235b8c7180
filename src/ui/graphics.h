#pragma once

namespace tarnivox {

// Builds the main window, its menus and every dialog (hidden), once.
void GRAPHICS_SETUP();
// Puts the main window back into its idle state after a fitting run.
void END_GRAPHICS();
// Shows TITLE in the main window's title field.
void SHOW_TITLE();

}  // namespace tarnivox
