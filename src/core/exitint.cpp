#include "core/exitint.h"

#include <utility>

namespace tarnivox {

ProgramEnd::ProgramEnd(std::string message_, int status_) : message(std::move(message_)), status(status_) {
    if (status < 0) status = exitint_shown_text(message).empty() ? EXIT_STATUS_NORMAL : EXIT_STATUS_FATAL;
}

void EXITINT(std::string_view message, int /*length*/) { throw ProgramEnd(std::string(message)); }

void EXITINT_AT(std::string_view message, std::string_view place) {
    ProgramEnd end{std::string(message)};
    end.place = std::string(place);
    throw end;
}

void end_run(std::string_view message, int status) { throw ProgramEnd(std::string(message), status); }

std::string exitint_shown_text(std::string_view message, std::size_t limit) {
    std::string shown;
    for (std::size_t i = 0; i < message.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(message[i]);
        if (c < 32 || c > 122) break;
        shown.push_back(static_cast<char>(c));
    }
    while (!shown.empty() && shown.back() == ' ') shown.pop_back();
    return shown;
}

std::string exitint_message_text(std::string_view message) {
    if (exitint_shown_text(message).empty()) return {};
    std::string text;
    for (const char ch : message) {
        const auto c = static_cast<unsigned char>(ch);
        text.push_back(c < 32 || c == 127 ? ' ' : ch);
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string shown_text_with_place(const ProgramEnd& end) {
    std::string shown = exitint_message_text(end.message);
    if (!shown.empty() && !end.place.empty()) shown += " (" + end.place + ")";
    return shown;
}

}  // namespace tarnivox
