#pragma once
// Start-up, the command loop and the end of the run.

#include "core/exitint.h"

namespace tarnivox {

// Start-up, then the command loop; leaves only through EXITINT.
[[noreturn]] void TARNIVOX_MAIN();

// Asks "Are you sure you want to exit the program?"; Yes ends the run.
void EXIT_PROGRAM();

// Waits for commands and carries them out, until EXITINT.
[[noreturn]] void command_loop();

// Carries out one command number of the main loop; unknown numbers are
// ignored.
void dispatch_command(int command);

// The end of every run: shows the EXITINT message (if any) in an error box,
// writes the defaults file, closes the windows and every open file.
// Returns the exit status, 0.
int finish_run(const ProgramEnd& end);

// TARNIVOX_MAIN with its end: the exit status of the process.
int run_program();

}  // namespace tarnivox
