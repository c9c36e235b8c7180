#pragma once
// How the routines below the windows report a message.  The readers, the
// record writers, the parameter file, the geometry, least squares and
// profile fitting show boxes ("Data File read in successfully", "Singular
// matrix in LUDCMP", ...) with the program's own title and text; they hand
// them to the message sink, which the window wires to the toolkit's boxes
// (Information and Notice: a message box with that icon and an OK button;
// Error: an error box).  Without a wired sink (tests of the mathematics,
// runs without a window) every message is recorded, so that it can be read
// back.  Questions and file choices never go through here: only the
// adapters above (window, script, batch) ask the user.
//
// The same holds for the "please wait" box that a long step (reading a
// whole data file) shows: the step reports busy/not busy, the window shows
// or hides its box.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnivox {

// The box's icon; Error is an error box.  Summary is a step's account of
// what it produced (how many reflections it kept): shown in a notice box
// like a Notice, it is information, never a warning of a run.
enum class MessageKind { Information, Notice, Error, Summary };

struct Message {
    std::string title;
    std::string text;
    MessageKind kind = MessageKind::Error;
};

using MessageSink = std::function<void(const Message&)>;

// Shows an error box with this title and text through the sink.
void report_error(std::string_view title, std::string_view text);

// Shows a box of this kind (an OK box for Information and Notice).
void report_message(MessageKind kind, std::string_view title, std::string_view text);

// Installs the sink; an empty one returns to recording.
void set_message_sink(MessageSink sink);

// The sink installed now (empty while recording), so that a caller can
// route the messages elsewhere for a while and put it back.
MessageSink current_message_sink();

// The messages recorded since the last clear (recording sink only).
const std::vector<Message>& recorded_messages();
void clear_recorded_messages();

// The wait box: true while a long step runs, false when it is over.
// Without a wired sink nothing is shown.
using BusySink = std::function<void(bool)>;
void report_busy(bool busy);
void set_busy_sink(BusySink sink);
BusySink current_busy_sink();

}  // namespace tarnivox
