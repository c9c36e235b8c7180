#pragma once
#include <string_view>

namespace tarnivox {

// Where the running program lives (its full path); the defaults file
// "Tarnivox_defaults.dat" is kept beside it.  Empty: no defaults file.
void set_program_path(std::string_view path);

void READ_DEFAULTS_FROM_FILE();
void WRITE_DEFAULTS_TO_FILE();

}  // namespace tarnivox
