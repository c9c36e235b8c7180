#pragma once
#include <string>
#include <string_view>

namespace tarnivox {

// Where the running program lives (its full path).  The defaults file
// "Tarnivox_defaults.dat" is kept in the user's configuration folder
// ($XDG_CONFIG_HOME/tarnivox, else ~/.config/tarnivox); one beside the
// program, where it was kept before, is read when that folder has none.
// Empty: no defaults file.
void set_program_path(std::string_view path);

// The defaults file this run reads and writes; empty when none.
std::string defaults_file_path();

// Whether this run keeps the defaults file at all (the window does; a
// headless run only when its script or command line asks).  Off: the
// reader and the writer leave the file alone, and the run starts from
// formats 1 and 1 with no directory, as on a first run.
void set_defaults_file_in_use(bool in_use);
bool defaults_file_in_use();

void READ_DEFAULTS_FROM_FILE();
void WRITE_DEFAULTS_TO_FILE();

}  // namespace tarnivox
