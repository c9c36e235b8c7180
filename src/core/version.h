#pragma once
// The program's version: the window's title and status bar and the command
// line's --version all show this one text.

#include <string_view>

namespace tarnivox {

inline constexpr std::string_view TARNIVOX_VERSION = "3.53";

}  // namespace tarnivox
