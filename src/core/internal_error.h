#pragma once
// A fault of the program itself, never of the user's input (an array index
// out of range, a unit or widget that does not exist, a malformed record
// layout in the code).

#include <string_view>

namespace tarnivox {

// Writes "TARNIVOX INTERNAL ERROR: <what>" to standard error, flushes and
// closes the program's files through the registered clean-up (so that no
// record written before the fault is lost), and stops.
[[noreturn]] void internal_error(std::string_view what);

// Registers what internal_error() does before it stops; the unit table
// registers the closing of every unit.
void set_internal_error_cleanup(void (*cleanup)());

}  // namespace tarnivox
