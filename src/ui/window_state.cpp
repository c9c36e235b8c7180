#include "ui/window_state.h"

#include "core/store.h"

namespace tarnivox {

WindowState WS;

namespace {

const bool registered = [] {
    register_outside_state_reset([] { WS = WindowState{}; });
    return true;
}();

}  // namespace

}  // namespace tarnivox
