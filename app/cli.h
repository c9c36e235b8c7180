#pragma once
// The command line of the tarnivox executable:
//   tarnivox [gui]                       the window
//   tarnivox --script FILE               headless, driven by a script
//   tarnivox reduce DATA... [options]    whole reductions (see batch.h)
//   tarnivox convert DATA... [options]   data sets to standard data files
//   tarnivox --help | --version

#include <string>

#include "batch.h"

namespace tarnivox {

struct CommandLine {
    enum Action { Window, Script, Batch, Exit } action = Window;
    int status = 0;      // Exit: the exit status (help, version, usage errors)
    std::string script;  // Script: the script file
    BatchOptions batch;  // Batch
    std::vector<BatchChoices> plan;
};

// Reads the arguments.  Help and version are printed on standard output
// (status 0); a usage error prints a one-line reason and the usage on
// standard error (status 2).
CommandLine parse_command_line(int argc, const char* const* argv);

}  // namespace tarnivox
