#include "toolkit/display_list.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tarnivox {

const char* palette_colour(int index) {
    // Black, red, blue, dark green, magenta, dark cyan, orange, and grey for
    // axes: readable on white.
    static const char* const colours[] = {"#ffffff", "#000000", "#d62728", "#1f5fbf", "#2ca02c",
                                          "#b0179c", "#138a8a", "#e07b00", "#707070"};
    if (index < 0 || index > 8) return "#000000";
    return colours[index];
}

std::vector<DisplayList::Segment> DisplayList::segments() const {
    std::vector<Segment> out;
    replay(ops, [&](const DrawOp& op, double x, double y, int colour) {
        if (op.kind == DrawOp::Line) out.push_back({x, y, op.x, op.y, colour});
    });
    return out;
}

std::vector<DrawOp> DisplayList::texts() const {
    std::vector<DrawOp> out;
    replay(ops, [&](const DrawOp& op, double x, double y, int colour) {
        if (op.kind != DrawOp::Text) return;
        DrawOp t = op;
        t.x = x;
        t.y = y;
        t.colour = colour;
        out.push_back(t);
    });
    return out;
}

namespace {
std::string escape(const std::string& s) {
    std::string r;
    for (char c : s) {
        switch (c) {
            case '<': r += "&lt;"; break;
            case '>': r += "&gt;"; break;
            case '&': r += "&amp;"; break;
            case '"': r += "&quot;"; break;
            default: r.push_back(c);
        }
    }
    return r;
}
}  // namespace

std::string to_svg(const DisplayList& list) {
    const double w = std::max(list.width, 1.0), h = std::max(list.height, 1.0);
    std::string s;
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%g\" height=\"%g\" viewBox=\"0 0 %g %g\">\n"
                  "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
                  w, h, w, h);
    s += buf;
    double ch = 10;
    replay(list.ops, [&](const DrawOp& op, double x, double y, int colour) {
        switch (op.kind) {
            case DrawOp::Line:
                std::snprintf(buf, sizeof buf,
                              "<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" stroke=\"%s\"/>\n", x,
                              h - y, op.x, h - op.y, palette_colour(colour));
                s += buf;
                break;
            case DrawOp::FillRect: {
                const double x1 = std::min(op.x, op.x2), y1 = std::max(op.y, op.y2);
                std::snprintf(buf, sizeof buf,
                              "<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"%s\"/>\n", x1,
                              h - y1, std::abs(op.x2 - op.x), std::abs(op.y2 - op.y), palette_colour(colour));
                s += buf;
                break;
            }
            case DrawOp::CharSize:
                ch = op.y2 > 0 ? op.y2 : ch;
                break;
            case DrawOp::Text:
                std::snprintf(buf, sizeof buf,
                              "<text x=\"%.2f\" y=\"%.2f\" font-family=\"sans-serif\" font-size=\"%.1f\" fill=\"%s\">",
                              x, h - y, std::max(ch, 8.0), palette_colour(colour));
                s += buf;
                s += escape(op.text);
                s += "</text>\n";
                break;
            default:
                break;
        }
    });
    s += "</svg>\n";
    return s;
}

}  // namespace tarnivox
