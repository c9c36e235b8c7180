#include "operations/operation.h"

#include <utility>

namespace tarnivox {

MessageRoute::MessageRoute(Messages& m) : previous_(current_message_sink()) {
    set_message_sink([&m](const Message& msg) { m.message(msg); });
}

MessageRoute::~MessageRoute() { set_message_sink(std::move(previous_)); }

}  // namespace tarnivox
