#include "operations/operation.h"

#include <utility>

namespace tarnivox {

MessageRoute::MessageRoute(Messages& m) : previous_(current_message_sink()) {
    set_message_sink([&m](const Message& msg) { m.message(msg); });
}

MessageRoute::~MessageRoute() { set_message_sink(std::move(previous_)); }

SinkMessages::SinkMessages() : sink_(current_message_sink()) {}

void SinkMessages::message(const Message& m) {
    if (sink_) {
        sink_(m);
        return;
    }
    // Recorded as without a sink, also while a route is in place.
    MessageSink routed = current_message_sink();
    set_message_sink({});
    report_message(m.kind, m.title, m.text);
    set_message_sink(std::move(routed));
}

}  // namespace tarnivox
