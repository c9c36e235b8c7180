#include "core/internal_error.h"

#include <cstdio>
#include <cstdlib>

namespace tarnivox {
namespace {

void (*registered_cleanup)() = nullptr;

}  // namespace

void set_internal_error_cleanup(void (*cleanup)()) { registered_cleanup = cleanup; }

void internal_error(std::string_view what) {
    static bool stopping = false;
    std::fprintf(stderr, "TARNIVOX INTERNAL ERROR: %.*s\n", static_cast<int>(what.size()), what.data());
    std::fflush(stderr);
    // A fault inside the clean-up itself stops at once.
    if (!stopping && registered_cleanup != nullptr) {
        stopping = true;
        registered_cleanup();
    }
    std::abort();
}

}  // namespace tarnivox
