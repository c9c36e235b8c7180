#pragma once
// How the computations below the windows report a message.  The geometry,
// least squares and profile fitting show a few error boxes ("Singular
// matrix in LUDCMP", ...); they hand the box's title and text to the
// message sink, which the application wires to the toolkit's error box.
// Without a wired sink (tests of the mathematics, batch checks) every
// message is recorded, so that it can be read back.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnivox {

// The box a message is shown in: its icon, or an error box.
enum class MessageKind { Information, Notice, Error };

struct Message {
    std::string title;
    std::string text;
    MessageKind kind = MessageKind::Error;
};

using MessageSink = std::function<void(const Message&)>;

// Shows an error box with this title and text through the sink.
void report_error(std::string_view title, std::string_view text);

// Installs the sink; an empty one returns to recording.
void set_message_sink(MessageSink sink);

// The sink installed now (empty while recording), so that it can be restored.
const MessageSink& message_sink();

// The messages recorded since the last clear (recording sink only).
const std::vector<Message>& recorded_messages();
void clear_recorded_messages();

}  // namespace tarnivox
