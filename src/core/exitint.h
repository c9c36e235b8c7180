#pragma once
// The single end of a Tarnivox run.  EXITINT throws ProgramEnd; only the
// program's entry point (and tests) catch it, then show the message, save
// the defaults file (when the run keeps one), close the windows and end.
//
// The end carries the exit status a calling program sees from a headless
// run: 0 for a normal end (an empty message, as from "Are you sure you want
// to exit the program?"), 1 for an end through a fatal message ("READ ERROR
// ON SCAN FILE", "ERROR WRITING INTEGRATED DATA FILE", "END OF PROGRAM"),
// 2 when the script driving a headless run could not be followed.

#include <string>
#include <string_view>

namespace tarnivox {

inline constexpr int EXIT_STATUS_NORMAL = 0;
inline constexpr int EXIT_STATUS_FATAL = 1;
inline constexpr int EXIT_STATUS_SCRIPT = 2;

struct ProgramEnd {
    // status < 0: taken from the message (normal when nothing is shown).
    ProgramEnd(std::string message_, int status_ = -1);
    std::string message;  // as given to EXITINT
    int status;           // one of the EXIT_STATUS_ values
    // Where the input is at fault (the file, its line and what was expected
    // there), shown in a box before the message; callers that keep the
    // message alone (the batch's summary) add it.  Empty for most ends.
    std::string place;
};

// Ends the run with the fatal message (whole; `length` is accepted, not used).
[[noreturn]] void EXITINT(std::string_view message, int length = 0);

// Ends the run with a fatal message about a file that is not as it should
// be, carrying the place of the fault (ProgramEnd::place).  The message is
// kept as given; the caller has shown the place already.
[[noreturn]] void EXITINT_AT(std::string_view message, std::string_view place);

// Ends the run with a message and a chosen exit status (the script backend
// ends a run it cannot follow with EXIT_STATUS_SCRIPT).
[[noreturn]] void end_run(std::string_view message, int status);

// The part of an EXITINT message that is shown: the first 60 characters,
// ending before the first character outside codes 32..122, without
// trailing blanks.  Empty means no box is shown.
// The window's box of a fatal end shows the text past the 60th character
// too (`limit` npos): the reason of a long message is not lost.
std::string exitint_shown_text(std::string_view message, std::size_t limit = 60);

// The whole text of an EXITINT message as the program shows it, in its
// box and on standard error: a reason past the 60th character is no less
// the reason.  Control characters show as blanks, trailing blanks go.
// Empty when exitint_shown_text is (a normal end shows nothing).
std::string exitint_message_text(std::string_view message);

// The text an end shows, followed by the place of the file at fault in
// brackets when there is one: what a caller that keeps one line of text
// (the batch's summary, a library caller) reports.  Empty when nothing is shown.
std::string shown_text_with_place(const ProgramEnd& end);

}  // namespace tarnivox
