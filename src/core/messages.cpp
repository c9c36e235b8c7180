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

BusySink& busy_sink() {
    static BusySink s;
    return s;
}

}  // namespace

void report_message(MessageKind kind, std::string_view title, std::string_view text) {
    Message m{std::string(title), std::string(text), kind};
    if (sink()) {
        // A copy: the sink may replace itself while it shows the box.
        const MessageSink s = sink();
        s(m);
    } else {
        recorded().push_back(std::move(m));
    }
}

void report_error(std::string_view title, std::string_view text) {
    report_message(MessageKind::Error, title, text);
}

void set_message_sink(MessageSink s) { sink() = std::move(s); }

MessageSink current_message_sink() { return sink(); }

const std::vector<Message>& recorded_messages() { return recorded(); }

void clear_recorded_messages() { recorded().clear(); }

void report_busy(bool busy) {
    if (busy_sink()) {
        const BusySink s = busy_sink();
        s(busy);
    }
}

void set_busy_sink(BusySink s) { busy_sink() = std::move(s); }

BusySink current_busy_sink() { return busy_sink(); }

}  // namespace tarnivox
