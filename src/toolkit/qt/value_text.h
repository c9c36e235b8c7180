#pragma once
// Text of numeric entries: how a value entry shows its number and how typed
// text becomes a number; where windows go on the screen.  Free of Qt so
// that it is tested on its own.

#include <optional>
#include <string>
#include <string_view>

namespace tarnivox {

// The number with `decimals` places (a real shown as "1" in a 2.0 field).
std::string format_entry_value(double value, int decimals);

// The number typed into an entry, or nothing when the text is not one
// number (blanks around it are allowed; "1.5x", "", "nan" are not numbers).
std::optional<double> parse_entry_value(std::string_view text);

// The pairs of a browse filter text "pattern|(label)|pattern|(label)|...",
// each as "label (pattern)" for the file dialog.  A pattern without its
// label is shown as itself.
std::string browse_name_filters(std::string_view filter);

// Offset of the extension in `path` (the index just after the '.' of the
// file name), 0 when the file name has no extension.
int extension_offset(std::string_view path);

}  // namespace tarnivox

namespace tarnivox {

// Rectangles in screen pixels: left, top, width, height.
struct ScreenRect {
    int x = 0, y = 0, w = 0, h = 0;
    int right() const { return x + w; }
    int bottom() const { return y + h; }
};

// Where a box of size w x h opens beside the main window, never over it:
// to its right, else to its left, else the main window moves aside
// (main_x) to make room; the box's top is the window's, kept on the
// screen.  On a screen too narrow for both, the box opens at the top and
// the window moves down (main_y), keeping its fitting panel in view.
struct BoxPlacement {
    int x = 0, y = 0;
    int main_x = 0, main_y = 0;  // where the main window's frame goes (unchanged when it fits)
};
BoxPlacement place_beside(ScreenRect main, int w, int h, ScreenRect screen);

// The main window's frame moved (and, when larger than the screen, cut
// down) to lie on the screen; the smallest size is its floor.
ScreenRect fit_on_screen(ScreenRect frame, int min_w, int min_h, ScreenRect screen);

}  // namespace tarnivox
