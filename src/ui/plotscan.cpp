#include "ui/plotscan.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/angles.h"
#include "fitting/profile.h"
#include "io/layout.h"
#include "toolkit/toolkit.h"
#include "ui/widgets.h"
#include "ui/window_state.h"

namespace tarnivox {
namespace {

// Colour indices of the toolkit's palette.
constexpr int COL_COUNTS = 1;
constexpr int COL_MARKS = 2;
constexpr int COL_COMPONENT = 3;
constexpr int COL_FIT = 5;
constexpr int COL_PEAK = 7;
constexpr int COL_AXES = 8;  // grey: axes and their labels

double clip(double x, double lo, double hi) { return std::min(std::max(x, lo), hi); }

void line(double x1, double y1, double x2, double y2) {
    GMOVETO2D(x1, y1);
    GDRAWLINETO2D(x2, y2);
}

bool valid_step(int i) { return i >= 1 && i <= G.NPTS; }

// Frame x of a scan angle.
double frame_x(double angle) { return WS.XSCALE * (angle - G.STEPANG(1)); }

// The alpha2 component is drawn at the alpha2 peak position belonging to
// the alpha1 POSITION; the dispersion of the monochromator adds MSHIFT.
void draw_alpha2_component(Arr1<double, MAXSTEPS>& work) {
    const double half = G.ANGLES(1) / 2.0;
    const double s = G.WAVE2 / G.WAVE1 * std::sin(half / DEGRAD);
    if (!(std::fabs(s) <= 1.0)) return;  // beyond the limiting sphere: no alpha2 peak
    Arr1<double, 6> par = G.PAR;
    par(P_POSITION) = std::asin(s) * DEGRAD + G.PAR(P_POSITION) - half + G.MSHIFT;
    CALC_PROFILE(2, G.STEPANG, par, G.NPTS, work);
    PLOT_DATA(G.STEPANG, work, G.NPTS, COL_COMPONENT);
}

// Before fitting, the four integration limits are marked on the counts and
// the background line under the peak is drawn between the inner two.
void draw_limits(double h) {
    GSETLINECOLOUR(COL_MARKS);
    const double yb = WS.XAXISY;
    for (int j = 1; j <= 4; ++j) {
        const int i = G.LIMS(j);
        if (!valid_step(i)) continue;
        const double x = frame_x(G.STEPANG(i));
        const double y = WS.YSCALE * G.COUNTS(i) + yb;
        line(x, std::max(y - h / 10.0, yb), x, y + h / 10.0);
    }
    const int i2 = G.LIMS(2);
    const int i3 = G.LIMS(3);
    if (valid_step(i2) && valid_step(i3))
        line(frame_x(G.STEPANG(i2)), WS.YSCALE * G.COUNTS(i2) + yb, frame_x(G.STEPANG(i3)),
             WS.YSCALE * G.COUNTS(i3) + yb);
}

// Vertical marks at the top of the frame: the peak (the step of the largest
// count before fitting, the fitted POSITION afterwards) and, for a doublet,
// the alpha2 peak.
void draw_peak_marks(double w, double yt, double h) {
    double p = 0.0;
    if (G.FITMODE != 2) {
        if (!valid_step(G.IMAX)) return;
        p = G.STEPANG(G.IMAX);
    } else {
        p = G.PAR(P_POSITION);
    }
    if (!std::isfinite(p)) return;
    GSETLINECOLOUR(COL_PEAK);
    const double x = clip(frame_x(p), 0.0, w);
    line(x, yt, x, yt - 0.3 * h);
    if (G.NWAVE == 2) {
        const double x2 = clip(x + WS.XSCALE * (G.A2SHIFT + G.MSHIFT), 0.0, w);
        line(x2, yt, x2, yt - 0.3 * h);
    }
}

void draw_texts(double w) {
    GSETLINECOLOUR(COL_MARKS);
    const double y = WS.XAXISY / 2.0;
    if (G.ISCTYPE >= 1) {
        GMOVETO2D(0.02 * w, y);
        GDISPLAYSTR("STANDARD");
    }
    GMOVETO2D(0.6 * w, y);
    GDISPLAYSTR(format_record("('Max Counts = ',I8)", {std::llround(std::isfinite(G.CMAX) ? G.CMAX : 0.0)}));
}

// A round step for axis ticks: 1, 2 or 5 times a power of ten, giving at
// most `most` intervals over `range`.
double tick_step(double range, int most) {
    const double raw = range / most;
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * decade >= raw) return m * decade;
    return 10.0 * decade;
}

// Decimals that show a tick step exactly (0.05 needs 2).
int decimals_of(double step) { return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 6); }

void text_at(double x, double y, const std::string& text) {
    GMOVETO2D(x, y);
    GDISPLAYSTR(text);
}

// Axes of the scan plot in grey: omega ticks under the base line, labelled
// in degrees below them (the texts of the plot stand higher); counts ticks on the left edge; each axis names its
// quantity and unit.  A legend at the top right names the curves in their
// own colours.
void draw_axes_and_legend(double w, double yt, double ymax) {
    constexpr double kCharW = 5.0;
    const double yb = WS.XAXISY;
    GSETCHARSIZE(kCharW, 7.0);
    GSETLINECOLOUR(COL_AXES);
    const int n = G.NPTS;
    const double first = n >= 2 ? G.STEPANG(1) : 0.0;
    const double last = n >= 2 ? G.STEPANG(n) : 0.0;
    if (last > first && std::isfinite(last - first)) {
        const double step = tick_step(last - first, 5);
        for (double v = std::ceil(first / step - 1e-9) * step; v <= last + 1e-9 * step; v += step) {
            const double x = frame_x(v);
            line(x, yb, x, yb - 4.0);
            const std::string t = format_fixed_whole(v, 12, decimals_of(step));
            const std::string shown = t.substr(std::min(t.find_first_not_of(' '), t.size()));
            const double tw = kCharW * static_cast<double>(shown.size());
            text_at(clip(x - tw / 2.0, 0.0, std::max(0.0, w - tw)), 1.0, shown);
        }
        // Right-aligned on the row of the plot's own texts, clear of "Max Counts".
        text_at(std::max(0.0, w - 14.0 * kCharW), yb / 2.0, "omega (deg)");
    }
    if (ymax > 0.0 && std::isfinite(ymax)) {
        const double step = tick_step(ymax, 4);
        for (double c = step; c <= ymax * (1.0 + 1e-9); c += step) {
            const double y = WS.YSCALE * c + yb;
            line(0.0, y, 4.0, y);
            text_at(6.0, y - 3.0, std::to_string(std::llround(c)));
        }
        text_at(6.0, yt - 10.0, "counts");
    }
    const struct {
        int colour;
        const char* name;
    } legend[] = {{COL_COUNTS, "observed"},
                  {COL_COMPONENT, "alpha1, alpha2"},
                  {COL_FIT, "fitted profile"},
                  {COL_PEAK, "peak position"}};
    double y = yt - 10.0;
    for (const auto& entry : legend) {
        // Single-wavelength data have no alpha2 component.
        const bool alpha1_only = entry.colour == COL_COMPONENT && !(G.WAVE2 > 0.1);
        GSETLINECOLOUR(entry.colour);
        text_at(w - 16.0 * kCharW, y, alpha1_only ? "alpha1" : entry.name);
        y -= 12.0;
    }
}

void fill_panel() {
    if (const int h = wid(PANEL(5))) GMSETTEXTSETTING(h, format_record("(3I3)", {G.IHKL}));
    if (const int h = wid(PANEL(7))) GMSETVALUESETTING_REAL(h, G.NREF);
    for (int k = 1; k <= 4; ++k)
        if (const int h = wid(PANEL(12 + k))) GMSETVALUESETTING_REAL(h, G.ANGLES(k));
}

}  // namespace

void CALC_PROFILE(int mode, const Arr1<double, MAXSTEPS>& x, const Arr1<double, 6>& par, int n,
                  Arr1<double, MAXSTEPS>& out) {
    const double c = mode == 2 ? par(P_IRATIO) : 1.0;
    double dp = 0.0, dh = 0.0, deta = 0.0;
    for (int i = 1; i <= n; ++i) out(i) = par(P_BACKGROUND) + par(P_INTENSITY) * c * PSVOIGT(x(i), par(P_POSITION), par(P_ETA), par(P_FWHM), dp, dh, deta);
}

void PLOT_DATA(const Arr1<double, MAXSTEPS>& x, const Arr1<double, MAXSTEPS>& y, int n, int colour) {
    if (n < 1) return;
    GSETLINECOLOUR(colour);
    GMOVETO2D(WS.XSCALE * (x(1) - x(1)), WS.YSCALE * y(1) + WS.XAXISY);
    for (int i = 2; i <= n; ++i) GDRAWLINETO2D(WS.XSCALE * (x(i) - x(1)), WS.YSCALE * y(i) + WS.XAXISY);
}

void PLOT_START() {
    FRAACT(WS.GFRAME);
    FRACLE(WS.GFRAME);
    double xmin = 0.0, xmax = 0.0, ymin = 0.0, ymax = 0.0;
    FRAENQ(WS.GFRAME, xmin, xmax, ymin, ymax);
    // A frame not laid out yet reports no size; keep the last one known.
    if (xmax > 0.0 && ymax > WS.XAXISY) {
        WS.FRAMEW = xmax;
        WS.FRAMEH = ymax;
    }
}

void PLOTSCAN() {
    if (WS.GFRAME == 0) return;
    const int n = G.NPTS;
    double ymax = G.CMAX;
    for (int i = 1; i <= n; ++i) ymax = std::max(ymax, G.YCALC(i));
    PLOT_START();
    const double w = WS.FRAMEW;
    const double yt = WS.FRAMEH;
    const double yb = WS.XAXISY;
    const double h = yt - yb;
    // An empty scan (no counts, one step or no width) still gets finite
    // scales so that nothing is drawn outside the frame.
    WS.YSCALE = ymax > 0.0 && std::isfinite(ymax) ? h / ymax : h;
    const double width = n >= 2 ? G.STEPANG(n) - G.STEPANG(1) : 0.0;
    WS.XSCALE = width > 0.0 && std::isfinite(width) ? w / width : w;

    GSETLINECOLOUR(COL_COUNTS);
    line(0.0, yb, w, yb);
    if (n >= 1) {
        PLOT_DATA(G.STEPANG, G.COUNTS, n, COL_COUNTS);
        Arr1<double, MAXSTEPS> work;
        CALC_PROFILE(1, G.STEPANG, G.PAR, n, work);
        PLOT_DATA(G.STEPANG, work, n, COL_COMPONENT);
        if (G.WAVE2 > 0.1 && G.WAVE1 > 0.0) draw_alpha2_component(work);
        PLOT_DATA(G.STEPANG, G.YCALC, n, COL_FIT);
        if (G.FITMODE != 2) draw_limits(h);
        draw_peak_marks(w, yt, h);
    }
    draw_axes_and_legend(w, yt, ymax);
    draw_texts(w);
    GFLUSHGRAPHICS();
    fill_panel();
}

}  // namespace tarnivox
