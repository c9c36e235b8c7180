#pragma once
#include <ctime>
#include <optional>
#include <string>

namespace tarnivox {

// The date and time as the 24-character text "Www Mmm dd hh:mm:ss yyyy"
// (day blank-padded), local time.
std::string date_text();
// The same text for a given time.
std::string date_text(std::time_t t);
// Tests fix the clock so that dated records can be compared; nullopt
// returns to the real clock.
void set_clock_for_tests(std::optional<std::time_t> t);

}  // namespace tarnivox
