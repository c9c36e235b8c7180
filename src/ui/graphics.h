#pragma once

#include <string_view>

namespace tarnivox {

// Builds the main window, its menus and every dialog (hidden), once.
void GRAPHICS_SETUP();
// Puts the main window back into its idle state after a fitting run.
void END_GRAPHICS();
// Shows TITLE in the main window's title field.
void SHOW_TITLE();

// The name of input format INFMT (1 to 7) as "Input Data file Format"
// shows it ("Enraf CAD4" for 7); empty for any other code.
std::string_view input_format_label(int infmt);


}  // namespace tarnivox
