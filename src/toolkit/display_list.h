#pragma once
// What a graphics frame has been asked to draw since it was last cleared:
// the line-graphics calls in order, in frame coordinates (origin at the
// bottom left, y upwards).  Both backends keep one per frame; the Qt
// backend paints it, the script backend lets tests inspect it or writes it
// as SVG.

#include <string>
#include <vector>

namespace tarnivox {

struct DrawOp {
    enum Kind { Move, Line, FillRect, Colour, CharSize, Text } kind;
    double x = 0, y = 0;    // Move/Line: the point; FillRect: first corner; Text: position
    double x2 = 0, y2 = 0;  // FillRect: second corner; CharSize: width, height in x, y
    int colour = 1;         // Colour
    std::string text;       // Text
};

struct DisplayList {
    std::vector<DrawOp> ops;
    double width = 0, height = 0;  // the frame's extents

    void clear() { ops.clear(); }
    // Pen position and colour while replaying, for painters and tests.
    struct Segment {
        double x1, y1, x2, y2;
        int colour;
    };
    std::vector<Segment> segments() const;  // every line drawn, with its colour
    std::vector<DrawOp> texts() const;      // every text, position in x, y and colour
};

// Replays the pen: calls f(op, x, y, colour) for every operation with the
// pen position and colour index in force before it, as a plotter would
// stand when it receives the call.
template <class F>
void replay(const std::vector<DrawOp>& ops, F f) {
    double x = 0, y = 0;
    int colour = 1;
    for (const DrawOp& op : ops) {
        f(op, x, y, colour);
        if (op.kind == DrawOp::Move || op.kind == DrawOp::Line) {
            x = op.x;
            y = op.y;
        } else if (op.kind == DrawOp::Colour) {
            colour = op.colour;
        }
    }
}

// The fixed palette of colour indices 1..7 on a white background
// (index 0 is white); other indices fall back to black.
const char* palette_colour(int index);

// An SVG picture of the display list, y flipped so that it looks as drawn.
std::string to_svg(const DisplayList& list);

}  // namespace tarnivox
