#include "core/exitint.h"

namespace tarnivox {

void EXITINT(std::string_view message, int /*length*/) { throw ProgramEnd{std::string(message)}; }

std::string exitint_shown_text(std::string_view message) {
    std::string shown;
    for (std::size_t i = 0; i < message.size() && i < 60; ++i) {
        const auto c = static_cast<unsigned char>(message[i]);
        if (c < 32 || c > 122) break;
        shown.push_back(static_cast<char>(c));
    }
    while (!shown.empty() && shown.back() == ' ') shown.pop_back();
    return shown;
}

}  // namespace tarnivox
