#include "report/svg_plot.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace tarnivox::report {

namespace {

constexpr double W = 640, H = 400;
constexpr double NONE_WIDTH = 1e300;
constexpr double ML = 78, MR = 20, MT = 36, MB = 58;
const char* const PALETTE[] = {"#1f5fa8", "#c2410c", "#15803d", "#7e22ce",
                               "#b91c1c", "#0e7490", "#a16207", "#4b5563"};

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

struct Axis {
    double lo = 0.0, hi = 1.0, step = 0.2;
};

// Round tick spacing of 1, 2 or 5 times a power of ten giving about six
// intervals; the range is widened to whole ticks.
Axis nice_axis(double lo, double hi) {
    Axis a;
    if (!std::isfinite(lo) || !std::isfinite(hi)) return a;
    if (hi - lo < 1e-12 * std::max(1.0, std::fabs(hi))) {
        const double pad = std::fabs(hi) > 0.0 ? 0.1 * std::fabs(hi) : 1.0;
        lo -= pad;
        hi += pad;
    }
    const double raw = (hi - lo) / 6.0;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / p;
    a.step = (f < 1.5 ? 1.0 : f < 3.5 ? 2.0 : f < 7.5 ? 5.0 : 10.0) * p;
    a.lo = std::floor(lo / a.step + 1e-9) * a.step;
    a.hi = std::ceil(hi / a.step - 1e-9) * a.step;
    return a;
}

std::string tick_text(double v, double step) {
    char buf[32];
    if (std::fabs(v) < 1e-12 * step) v = 0.0;
    const double mag = std::max(std::fabs(v), step);
    if (mag >= 1e5 || mag < 1e-3) {
        std::snprintf(buf, sizeof buf, "%.2g", v);
    } else {
        const int dec = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
        std::snprintf(buf, sizeof buf, "%.*f", dec, v);
    }
    return buf;
}

}  // namespace

std::string xml_escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
                    out += hex;
                } else {
                    out += c;
                }
        }
    }
    return out;
}

std::string render_svg(const Plot& plot, bool standalone) {
    const bool cats = !plot.xcats.empty();
    double xlo = 1e300, xhi = -1e300, ylo = 1e300, yhi = -1e300;
    double bar_width = NONE_WIDTH;  // x spacing of the closest bars
    bool any = false;
    for (const auto& s : plot.series) {
        std::vector<double> xs;
        for (std::size_t i = 0; i < s.x.size() && i < s.y.size(); ++i) {
            const double e =
                (s.style == Series::Style::ErrorBars && i < s.err.size() && std::isfinite(s.err[i]))
                    ? s.err[i]
                    : 0.0;
            if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i])) continue;
            any = true;
            xlo = std::min(xlo, s.x[i]);
            xhi = std::max(xhi, s.x[i]);
            ylo = std::min(ylo, s.y[i] - e);
            yhi = std::max(yhi, s.y[i] + e);
            xs.push_back(s.x[i]);
        }
        if (s.style == Series::Style::Bars) {
            ylo = std::min(ylo, 0.0);
            std::sort(xs.begin(), xs.end());
            double gap = 1e300;
            for (std::size_t i = 1; i < xs.size(); ++i)
                if (xs[i] > xs[i - 1]) gap = std::min(gap, xs[i] - xs[i - 1]);
            if (gap < 1e300) bar_width = std::min(bar_width, gap);
        }
    }
    if (cats || bar_width == NONE_WIDTH) bar_width = 1.0;
    if (cats) {
        xlo = -0.5;
        xhi = static_cast<double>(plot.xcats.size()) - 0.5;
    }
    if (!any) {
        xlo = cats ? xlo : 0.0;
        xhi = cats ? xhi : 1.0;
        ylo = 0.0;
        yhi = 1.0;
    }
    if (plot.y_from_zero) ylo = std::min(ylo, 0.0);
    const Axis ya = nice_axis(ylo, yhi);
    const Axis xa = cats ? Axis{xlo, xhi, 1.0} : nice_axis(xlo, xhi);
    const double pw = W - ML - MR, ph = H - MT - MB;
    auto X = [&](double x) { return ML + (x - xa.lo) / (xa.hi - xa.lo) * pw; };
    auto Y = [&](double y) { return MT + ph - (y - ya.lo) / (ya.hi - ya.lo) * ph; };

    // Legend below the frame, never on the data: entries side by side,
    // wrapped to the width of the plot (about 6.2 px a character).
    std::vector<std::array<double, 2>> legend_at(plot.series.size(), {0.0, 0.0});
    int legend_rows = 0;
    {
        double x = ML;
        for (std::size_t k = 0; k < plot.series.size(); ++k) {
            if (plot.series[k].name.empty()) continue;
            const double width = 30.0 + 6.2 * static_cast<double>(plot.series[k].name.size());
            if (legend_rows == 0 || (x + width > W - MR && x > ML)) {
                ++legend_rows;
                x = ML;
            }
            legend_at[k] = {x, H + 4.0 + 16.0 * (legend_rows - 1)};
            x += width;
        }
    }
    const double HT = H + (legend_rows > 0 ? 16.0 * legend_rows + 6.0 : 0.0);

    std::string o;
    if (standalone) o += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    o += "<svg";
    if (standalone) o += " xmlns=\"http://www.w3.org/2000/svg\"";
    o += " class=\"plot\" id=\"plot-" + xml_escape(plot.id) + "\" width=\"" + num(W) + "\" height=\"" +
         num(HT) + "\" viewBox=\"0 0 " + num(W) + " " + num(HT) +
         "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    o += "<title>" + xml_escape(plot.title) + "</title>\n";
    o += "<rect x=\"0\" y=\"0\" width=\"" + num(W) + "\" height=\"" + num(HT) + "\" fill=\"white\"/>\n";
    o += "<text x=\"" + num(W / 2) +
         "\" y=\"22\" text-anchor=\"middle\" font-size=\"14\" font-weight=\"bold\">" +
         xml_escape(plot.title) + "</text>\n";
    // Grid and ticks.
    o += "<g class=\"axes\" stroke=\"#d0d0d0\" stroke-width=\"1\">\n";
    const int nyt = static_cast<int>(std::lround((ya.hi - ya.lo) / ya.step));
    for (int k = 0; k <= nyt; ++k) {
        const double y = Y(ya.lo + k * ya.step);
        o += "<line x1=\"" + num(ML) + "\" y1=\"" + num(y) + "\" x2=\"" + num(ML + pw) + "\" y2=\"" + num(y) +
             "\"/>\n";
    }
    o += "</g>\n<g class=\"ticks\" fill=\"black\">\n";
    for (int k = 0; k <= nyt; ++k) {
        const double v = ya.lo + k * ya.step;
        o += "<text x=\"" + num(ML - 6) + "\" y=\"" + num(Y(v) + 4) + "\" text-anchor=\"end\">" +
             tick_text(v, ya.step) + "</text>\n";
    }
    if (cats) {
        // Every k-th label, so that neighbours do not overlap (about 6 px a
        // character at 10 px type).
        std::size_t longest = 1;
        for (const auto& c : plot.xcats) longest = std::max(longest, c.size());
        const double room = pw / static_cast<double>(plot.xcats.size());
        const auto every = static_cast<std::size_t>(
            std::max(1.0, std::ceil((6.0 * static_cast<double>(longest) + 6.0) / room)));
        for (std::size_t k = 0; k < plot.xcats.size(); k += every)
            o += "<text x=\"" + num(X(static_cast<double>(k))) + "\" y=\"" + num(MT + ph + 16) +
                 "\" text-anchor=\"middle\" font-size=\"10\">" + xml_escape(plot.xcats[k]) + "</text>\n";
    } else {
        const int nxt = static_cast<int>(std::lround((xa.hi - xa.lo) / xa.step));
        for (int k = 0; k <= nxt; ++k) {
            const double v = xa.lo + k * xa.step;
            o += "<text x=\"" + num(X(v)) + "\" y=\"" + num(MT + ph + 16) + "\" text-anchor=\"middle\">" +
                 tick_text(v, xa.step) + "</text>\n";
        }
    }
    o += "</g>\n";
    o += "<rect x=\"" + num(ML) + "\" y=\"" + num(MT) + "\" width=\"" + num(pw) + "\" height=\"" + num(ph) +
         "\" fill=\"none\" stroke=\"black\"/>\n";
    o += "<text class=\"xlabel\" x=\"" + num(ML + pw / 2) + "\" y=\"" + num(H - 14) +
         "\" text-anchor=\"middle\">" + xml_escape(plot.xlabel) + "</text>\n";
    o += "<text class=\"ylabel\" x=\"16\" y=\"" + num(MT + ph / 2) +
         "\" text-anchor=\"middle\" transform=\"rotate(-90 16 " + num(MT + ph / 2) + ")\">" +
         xml_escape(plot.ylabel) + "</text>\n";
    if (!any)
        o += "<text x=\"" + num(ML + pw / 2) + "\" y=\"" + num(MT + ph / 2) +
             "\" text-anchor=\"middle\" fill=\"#777\">no data</text>\n";

    // Data, clipped to the frame.
    o += "<clipPath id=\"clip-" + xml_escape(plot.id) + "\"><rect x=\"" + num(ML) + "\" y=\"" + num(MT) +
         "\" width=\"" + num(pw) + "\" height=\"" + num(ph) + "\"/></clipPath>\n";
    o += "<g clip-path=\"url(#clip-" + xml_escape(plot.id) + ")\">\n";
    std::vector<std::string> colors;
    std::size_t next = 0;
    for (const auto& s : plot.series) {
        const std::string c =
            s.color.empty() ? PALETTE[next++ % (sizeof PALETTE / sizeof PALETTE[0])] : s.color;
        colors.push_back(c);
        o += "<g class=\"series\" fill=\"" + c + "\" stroke=\"" + c + "\">\n";
        if (s.style == Series::Style::Line) {
            std::string pts;
            for (std::size_t i = 0; i < s.x.size() && i < s.y.size(); ++i)
                if (std::isfinite(s.x[i]) && std::isfinite(s.y[i]))
                    pts += num(X(s.x[i])) + "," + num(Y(s.y[i])) + " ";
            o += "<polyline fill=\"none\" stroke-width=\"1.5\" points=\"" + pts + "\"/>\n";
        }
        for (std::size_t i = 0; i < s.x.size() && i < s.y.size(); ++i) {
            if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i])) continue;
            const double x = X(s.x[i]), y = Y(s.y[i]);
            switch (s.style) {
                case Series::Style::Bars: {
                    const double half = 0.4 * bar_width * pw / (xa.hi - xa.lo);
                    const double y0 = Y(std::max(ya.lo, 0.0));
                    o += "<rect x=\"" + num(x - half) + "\" y=\"" + num(std::min(y, y0)) + "\" width=\"" +
                         num(2 * half) + "\" height=\"" + num(std::fabs(y0 - y)) +
                         "\" fill-opacity=\"0.8\"/>\n";
                    break;
                }
                case Series::Style::ErrorBars:
                    if (i < s.err.size() && std::isfinite(s.err[i]))
                        o += "<line x1=\"" + num(x) + "\" y1=\"" + num(Y(s.y[i] - s.err[i])) + "\" x2=\"" +
                             num(x) + "\" y2=\"" + num(Y(s.y[i] + s.err[i])) + "\"/>\n";
                    [[fallthrough]];
                case Series::Style::Points:
                    o += "<circle cx=\"" + num(x) + "\" cy=\"" + num(y) + "\" r=\"2.5\" stroke=\"none\"";
                    o += i < s.tips.size() && !s.tips[i].empty()
                             ? "><title>" + xml_escape(s.tips[i]) + "</title></circle>\n"
                             : std::string("/>\n");
                    break;
                case Series::Style::Line: break;
            }
        }
        o += "</g>\n";
    }
    o += "</g>\n";
    if (legend_rows > 0) {
        o += "<g class=\"legend\">\n";
        for (std::size_t k = 0; k < plot.series.size(); ++k) {
            if (plot.series[k].name.empty()) continue;
            const double x = legend_at[k][0], y = legend_at[k][1];
            o += "<rect x=\"" + num(x) + "\" y=\"" + num(y - 8) + "\" width=\"12\" height=\"8\" fill=\"" + colors[k] +
                 "\"/>\n<text x=\"" + num(x + 18) + "\" y=\"" + num(y) + "\">" + xml_escape(plot.series[k].name) +
                 "</text>\n";
        }
        o += "</g>\n";
    }
    o += "</svg>\n";
    return o;
}

}  // namespace tarnivox::report
