#pragma once
// Plots of the report as SVG: a frame with ticked axes, units in the axis
// labels, a title and a legend; points, error bars, lines and bars.

#include <string>
#include <string_view>
#include <vector>

namespace tarnivox::report {

struct Series {
    enum class Style { Points, ErrorBars, Line, Bars };
    std::string name;  // legend text; empty: not in the legend
    Style style = Style::Points;
    std::vector<double> x, y, err;  // err: esd of y (ErrorBars)
    std::string color;              // empty: the next colour of the palette
    // Tooltip of each point (its hkl, say), shown by a viewer that shows an
    // SVG <title>; empty: none.
    std::vector<std::string> tips;
};

struct Plot {
    std::string id;  // name of the separate file (id.svg) and the page anchor
    std::string title, xlabel, ylabel;
    std::vector<std::string> xcats;  // category labels: x is then the category index 0, 1, ...
    std::vector<Series> series;
    bool y_from_zero = false;
};

// The plot as an SVG element.  `standalone` adds the XML declaration and the
// SVG namespace a separate file needs; inline in HTML neither is wanted.
std::string render_svg(const Plot& plot, bool standalone);

// Text for XML and HTML: markup characters escaped, and control
// characters (a newline or escape in a file name) shown as \xNN, which
// XML cannot carry and a page would not show.
std::string xml_escape(std::string_view text);

}  // namespace tarnivox::report
