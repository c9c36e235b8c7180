#include "core/messages.h"

#include <utility>

namespace tarnivox {
namespace {

std::vector<Message>& recorded() {
    static std::vector<Message> messages;
    return messages;
}

MessageSink& sink() {
    static MessageSink s;
    return s;
}

}  // namespace

void report_error(std::string_view title, std::string_view text) {
    Message m{std::string(title), std::string(text)};
    if (sink()) {
        sink()(m);
    } else {
        recorded().push_back(std::move(m));
    }
}

void set_message_sink(MessageSink s) { sink() = std::move(s); }

const MessageSink& message_sink() { return sink(); }

const std::vector<Message>& recorded_messages() { return recorded(); }

void clear_recorded_messages() { recorded().clear(); }

}  // namespace tarnivox
