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
// writes the defaults file (when the run keeps one), closes the windows and
// every open file.  Returns the exit status: the one the end carries for a
// headless run, 0 for the window.
int finish_run(const ProgramEnd& end, bool headless = false);

// How a run is started: by the window, or headless (the script backend, a
// batch command line).
struct RunOptions {
    // A headless run tells a calling program how it ended: its exit status
    // is the one the end carries (0 normal, 1 fatal message, 2 script).
    // The window ends with status 0 whatever the message.
    bool headless = false;
    // Read the defaults file at start-up and write it at the end.  A
    // headless run leaves the window's memory alone unless asked.
    bool defaults_file = true;
};

// TARNIVOX_MAIN with its end: the exit status of the process.
int run_program(const RunOptions& options = {});

}  // namespace tarnivox
