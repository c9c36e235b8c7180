#include "io/clock.h"

namespace tarnivox {
namespace {
std::optional<std::time_t> fixed_time;
}  // namespace

std::string date_text(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Y", &tm);
    return buf;
}

std::string date_text() { return date_text(fixed_time ? *fixed_time : std::time(nullptr)); }

void set_clock_for_tests(std::optional<std::time_t> t) { fixed_time = t; }

}  // namespace tarnivox
