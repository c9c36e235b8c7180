#include "ui/dataset_plot.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "io/layout.h"
#include "ui/plotscan.h"
#include "toolkit/toolkit.h"
#include "ui/window_state.h"

namespace tarnivox {
namespace {

constexpr int COL_AXES = 1;
constexpr int COL_POINTS = 2;
constexpr int COL_TITLE = 4;

// Binary noise of the decimal scaling of a limit (0.0007 scales to
// 7.000000000000001): the truncation looks through it.
constexpr double SCALING_NOISE = 1.0e-9;

// More 2theta intervals than this cannot be labelled in the frame; a wider
// range (values that are no 2theta) takes ticks of several tens.
constexpr int MAX_X_INTERVALS = 36;

void line(double x1, double y1, double x2, double y2) {
    GMOVETO2D(x1, y1);
    GDRAWLINETO2D(x2, y2);
}

void text_at(double x, double y, const std::string& text) {
    GMOVETO2D(x, y);
    GDISPLAYSTR(text);
}

// A label in Fw.d, whole when the value is wider.
std::string label(double v, int w, int d) { return format_fixed_whole(v, w, d); }

bool usable(double v) { return std::isfinite(v); }

}  // namespace

double round_plot_limit(double v, bool upper) {
    if (v == 0.0 || !std::isfinite(v)) return 0.0;
    double a = std::fabs(v);
    double s = 1.0;
    while (a <= 1.0) {
        a *= 10.0;
        s *= 10.0;
    }
    // Away from zero for an upper limit above 0 and a lower one below 0 (the
    // usual case of values scattered around 0); toward zero otherwise, so
    // that the range still holds the data when all values have one sign.
    const bool away = upper ? v > 0.0 : v < 0.0;
    const double m = away ? (std::trunc(a * (1.0 + SCALING_NOISE)) + 1.0) / s
                          : (std::ceil(a * (1.0 - SCALING_NOISE)) - 1.0) / s;
    return v < 0.0 ? -m : m;
}

namespace {

void set_x_intervals(DataSetAxes& ax) {
    const double intervals = std::round((ax.xmax - ax.xmin) / 10.0);
    ax.xstep = 10.0;
    ax.nx = static_cast<int>(intervals);
    if (intervals > MAX_X_INTERVALS) {
        ax.xstep = 10.0 * std::ceil(intervals / MAX_X_INTERVALS);
        ax.nx = static_cast<int>(std::ceil((ax.xmax - ax.xmin) / ax.xstep));
        ax.xmax = ax.xmin + ax.nx * ax.xstep;
    }
}

}  // namespace

DataSetAxes dataset_axes(const DataSetValues& X, const DataSetValues& Y, int n, double frame_width) {
    DataSetAxes ax;
    double xmin = 180.0, xmax = 0.0, ymin = 9999999.0, ymax = -100000.0;
    int used = 0;
    for (int i = 1; i <= n; ++i) {
        if (!usable(X(i)) || !usable(Y(i))) continue;
        xmin = std::min(xmin, X(i));
        xmax = std::max(xmax, X(i));
        ymin = std::min(ymin, Y(i));
        ymax = std::max(ymax, Y(i));
        ++used;
    }
    if (used == 0) {
        // Nothing to plot: an empty frame on 0 to 10 degrees around 0.
        xmin = xmax = 0.0;
        ymin = ymax = 0.0;
    }
    ax.xmin = 10.0 * std::trunc(xmin / 10.0);
    ax.xmax = 10.0 * (std::trunc(xmax / 10.0) + 1.0);
    // The start values of the search bound the range (180 and 0 degrees):
    // points beyond 180 degrees still lie inside it.
    if (!(ax.xmax > ax.xmin)) ax.xmax = ax.xmin + 10.0;
    set_x_intervals(ax);
    // The lowest 2theta on a round ten (all points at 30.0, say) would fall
    // on the frame's first unit, where no point is drawn: the axis then
    // starts one interval lower.
    if (used > 0 && frame_width > 0.0 && (xmin - ax.xmin) * frame_width / (ax.xmax - ax.xmin) <= 1.0) {
        ax.xmin -= 10.0;
        set_x_intervals(ax);
    }
    ax.ymax = round_plot_limit(ymax, true);
    ax.ymin = round_plot_limit(ymin, false);
    if (!(ax.ymax > ax.ymin)) {
        // Every value 0: a range of one unit either side.
        ax.ymin = -1.0;
        ax.ymax = 1.0;
    } else if (used > 0 && !(ymin > ax.ymin)) {
        // A lower limit of 0 with values at 0: they would lie on the x axis,
        // where no point is drawn; the range goes one fifth lower.
        ax.ymin -= (ax.ymax - ax.ymin) / 5.0;
    }
    return ax;
}

void PLOTDATASET(const DataSetValues& X, const DataSetValues& Y, int ndim, int n) {
    if (WS.GFRAME == 0) return;
    const int np = std::clamp(n, 0, std::clamp(ndim, 0, MAXREFLIST));
    PLOT_START();
    const DataSetAxes ax = dataset_axes(X, Y, np, WS.FRAMEW);
    const double w = WS.FRAMEW;
    const double yb = WS.XAXISY;
    const double h = WS.FRAMEH - WS.XAXISY;
    WS.YSCALE = h / (ax.ymax - ax.ymin);
    WS.XSCALE = w / (ax.xmax - ax.xmin);  // the frame's x origin is 0

    GSETLINECOLOUR(COL_AXES);
    line(0.0, yb, w, yb);
    const double y0 = yb - ax.ymin * WS.YSCALE;
    if (y0 >= yb && y0 <= yb + h) line(0.0, y0, w, y0);
    for (int k = 1; k <= ax.nx; ++k) {
        const double x = k * w / ax.nx;
        line(x, yb, x, 0.9 * yb);
    }

    constexpr double kCharW = 5.0, kCharH = 7.0;
    GSETCHARSIZE(kCharW, kCharH);
    text_at(0.45 * w, 0.2 * yb, "2THETA: DEG");
    // Each 2theta label stands centred under its tick, the end ones moved
    // just inside the frame.
    for (int k = 0; k <= ax.nx; ++k) {
        const std::string value = label(ax.xmin + k * ax.xstep, 5, 2);
        const double width = kCharW * static_cast<double>(value.size());
        text_at(std::clamp(k * w / ax.nx - width / 2.0, 0.0, std::max(0.0, w - width)), 0.5 * yb, value);
    }
    for (int j = 0; j <= 4; ++j) {
        const double yj = j * h / 5.0 + yb;
        line(0.0, yj, 0.05 * w, yj);
        text_at(0.0, yj + 0.01 * h, label(ax.ymin + j * (ax.ymax - ax.ymin) / 5.0, 8, 5));
    }
    // The top value stays whole inside a low frame (a window shrunk to fit
    // its screen at a large scale factor).
    text_at(0.0, std::min(0.96 * h, h - kCharH) + yb, label(ax.ymax, 8, 5));

    GSETLINECOLOUR(COL_POINTS);
    GSETCHARSIZE(7.0, 10.0);
    for (int i = 1; i <= np; ++i) {
        if (!usable(X(i)) || !usable(Y(i))) continue;
        const double px = (X(i) - ax.xmin) * WS.XSCALE;
        double py = (Y(i) - ax.ymin) * WS.YSCALE + yb;
        if (py > yb + h) py = yb + h - 1.0;
        if (!(px > 1.0) || !(py > yb)) continue;
        GFILLRECT(px - 1.0, py - 1.0, px + 1.0, py + 1.0);
    }

    GSETLINECOLOUR(COL_TITLE);
    text_at(0.35 * w, 1.2 * yb, "DELTA-D/D PLOT");
    GFLUSHGRAPHICS();
}

}  // namespace tarnivox
