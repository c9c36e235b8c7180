#pragma once
// The single end of a Tarnivox run.  EXITINT throws ProgramEnd; only the
// program's entry point (and tests) catch it, then show the message, save
// the defaults file, close the windows and end with status 0.

#include <string>
#include <string_view>

namespace tarnivox {

struct ProgramEnd {
    std::string message;  // as given to EXITINT
};

// Ends the run.  The length argument of the original interface is not used.
[[noreturn]] void EXITINT(std::string_view message, int length = 0);

// The part of an EXITINT message that is shown: the first 60 characters,
// ending before the first character outside codes 32..122, without
// trailing blanks.  Empty means no box is shown.
std::string exitint_shown_text(std::string_view message);

}  // namespace tarnivox
