#include "toolkit/qt/value_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace tarnivox {

std::string format_entry_value(double value, int decimals) {
    if (decimals < 0) decimals = 0;
    if (decimals > 10) decimals = 10;
    if (!std::isfinite(value)) return "";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::string s = buf;
    if (s == "-0" || s.find_first_not_of("-0.") == std::string::npos) {
        // "-0.000": a small negative rounded to zero reads better unsigned.
        if (!s.empty() && s[0] == '-') s.erase(0, 1);
    }
    return s;
}

std::optional<double> parse_entry_value(std::string_view text) {
    std::string s(text);
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    const auto last = s.find_last_not_of(" \t");
    s = s.substr(first, last - first + 1);
    // Only plain decimal notation: strtod alone would also take "inf",
    // "nan" and hexadecimal text.
    for (char c : s)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::string browse_name_filters(std::string_view filter) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : filter) {
        if (c == '|') {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    parts.push_back(cur);
    auto trim = [](std::string s) {
        while (!s.empty() && s.back() == ' ') s.pop_back();
        while (!s.empty() && s.front() == ' ') s.erase(0, 1);
        return s;
    };
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string pattern = trim(parts[i]);
        if (pattern.empty()) continue;
        std::string label;
        if (i + 1 < parts.size()) {
            label = trim(parts[i + 1]);
            if (label.size() >= 2 && label.front() == '(' && label.back() == ')')
                label = trim(label.substr(1, label.size() - 2));
            ++i;
        }
        if (!out.empty()) out += ";;";
        out += label.empty() ? pattern : label + " (" + pattern + ")";
    }
    return out;
}

int extension_offset(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return 0;
    if (dot + 1 >= path.size()) return 0;
    return static_cast<int>(dot + 1);
}

}  // namespace tarnivox

namespace tarnivox {

namespace {
constexpr int kBoxGap = 8;

int clamped(int v, int lo, int hi) { return hi < lo ? lo : std::min(std::max(v, lo), hi); }
}  // namespace

BoxPlacement place_beside(ScreenRect main, int w, int h, ScreenRect screen) {
    BoxPlacement p;
    p.main_x = main.x;
    p.main_y = main.y;
    p.y = clamped(main.y, screen.y, screen.bottom() - h);
    if (main.right() + kBoxGap + w <= screen.right()) {
        p.x = main.right() + kBoxGap;
    } else if (main.x - kBoxGap - w >= screen.x) {
        p.x = main.x - kBoxGap - w;
    } else if (main.w + kBoxGap + w <= screen.w) {
        // Room for both side by side: the window moves to the left edge.
        p.main_x = screen.right() - w - kBoxGap - main.w;
        p.x = screen.right() - w;
    } else {
        // Too narrow for both side by side: the box goes to the top of the
        // screen and the window to its bottom, so that at least the fitting
        // panel with Start stays in view.
        p.x = clamped(main.x, screen.x, screen.right() - w);
        p.y = screen.y;
        p.main_y = std::max(screen.y, screen.bottom() - main.h);
    }
    return p;
}

ScreenRect fit_on_screen(ScreenRect frame, int min_w, int min_h, ScreenRect screen) {
    frame.w = std::max(min_w, std::min(frame.w, screen.w));
    frame.h = std::max(min_h, std::min(frame.h, screen.h));
    frame.x = clamped(frame.x, screen.x, screen.right() - frame.w);
    frame.y = clamped(frame.y, screen.y, screen.bottom() - frame.h);
    return frame;
}

}  // namespace tarnivox
