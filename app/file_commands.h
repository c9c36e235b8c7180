#pragma once
// Subcommands that write one text and end, without running the program:
//   tarnivox template-par --format F [--out FILE]   a commented instrument parameter file
//   tarnivox completion bash                        the bash completion of this command line
// The completion is generated from the command line's own definitions, so
// it offers exactly the subcommands, options and values the parser takes.

#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace tarnivox {

// Adds the subcommands to the program's command line.
void add_file_commands(CLI::App& app);

// After parsing: the exit status when one of them was asked for and has
// run (0 done, 2 the file could not be written); none otherwise.
std::optional<int> run_file_commands(CLI::App& app);

// A commented instrument parameter file for data sets of the input format
// `format` (a name of --format); every line is one the parameter reader
// accepts without a message.
std::string template_parameter_file(const std::string& format);

// The bash completion script for the command line `app`.
std::string bash_completion(const CLI::App& app);

}  // namespace tarnivox
