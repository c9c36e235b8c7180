#pragma once
// Text of numeric entries: how a value entry shows its number and how typed
// text becomes a number.  Free of Qt so that it is tested on its own.

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
