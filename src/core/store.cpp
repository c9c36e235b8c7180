#include "core/store.h"

#include <vector>

#include "core/messages.h"

namespace tarnivox {
namespace {

std::vector<void (*)()>& outside_state_resets() {
    static std::vector<void (*)()> resets;
    return resets;
}

}  // namespace

Store G;

void reset_store() {
    G = Store{};
    for (auto reset : outside_state_resets()) reset();
    set_message_sink({});
    set_busy_sink({});
    clear_recorded_messages();
}

void register_outside_state_reset(void (*reset)()) { outside_state_resets().push_back(reset); }

}  // namespace tarnivox
