#include <gtest/gtest.h>

#include <map>
#include <string>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "core/angles.h"
#include "core/store.h"
#include "fitting/profile.h"
#include "ui/plotscan.h"
#include "toolkit/script/script_backend.h"
#include "ui/widgets.h"
#include "ui/window_state.h"

namespace tarnivox {
namespace {

using Segments = std::vector<DisplayList::Segment>;

class ScanPlot : public ::testing::Test {
protected:
    void SetUp() override {
        reset_store();
        auto b = ScriptBackend::from_text("");
        b->echo = false;
        backend_ = b.get();
        set_toolkit_backend(std::move(b));
        GMDEFINEGUIGRID(32, 24);
        const int win = GMCREATEMASTERWINDOW(5, 5, 20, 19, "TARNIVOX V3.53", "Tarnivox");
        WS.GFRAME = GMCREATEGRAPHICSFRAME(win, 1, 4, 18, 12);  // 576 x 288
        wid(PANEL(5)) = GMCREATETEXTENTRY(win, 5, 1, 3, 1, "", 20, 106, EntryKind::Editable, "hkl");
        wid(PANEL(7)) = GMCREATEVALUEENTRY_REAL(win, 13, 1, 2, 1, 0.0, 5, 0, 108, "iseq");
        for (int k = 1; k <= 4; ++k)
            wid(PANEL(12 + k)) = GMCREATEVALUEENTRY_REAL(win, 4 + 2 * k, 0, 2, 1, 0.0, 7, 2, 0, "angle");
        make_scan();
    }

    // A 41-step scan with a peak of 1000 counts over 10 background.
    void make_scan() {
        G.NREF = 17;
        G.IHKL = Arr1<int, 3>{{1, -2, 3}};
        G.ANGLES = Arr1<double, 4>{{40.0, 10.0, 30.0, -45.0}};
        G.NPTS = 41;
        G.STEP = 0.02;
        G.CMAX = 0.0;
        for (int i = 1; i <= G.NPTS; ++i) {
            G.STEPANG(i) = 9.6 + 0.02 * (i - 1);
            const double d = (G.STEPANG(i) - 10.0) / 0.08;
            G.COUNTS(i) = std::floor(10.0 + 1000.0 * std::exp(-d * d));
            if (G.COUNTS(i) > G.CMAX) {
                G.CMAX = G.COUNTS(i);
                G.IMAX = i;
            }
        }
        G.PAR = Arr1<double, 6>{{10.0, 0.1, 120.0, 10.0, 0.3, 0.5}};
        G.LIMS = Arr1<int, 4>{{3, 8, 34, 39}};
        G.NWAVE = 1;
        G.WAVE1 = 0.71073;
        G.WAVE2 = 0.0;
    }

    const DisplayList& list() const { return backend_->display_list(WS.GFRAME); }
    Segments of_colour(int colour) const {
        Segments out;
        for (const auto& s : list().segments())
            if (s.colour == colour) out.push_back(s);
        return out;
    }
    // Vertical segments of a colour (the marks).
    Segments marks(int colour) const {
        Segments out;
        for (const auto& s : of_colour(colour))
            if (std::fabs(s.x1 - s.x2) < 1e-9 && std::fabs(s.y1 - s.y2) > 1e-9) out.push_back(s);
        return out;
    }
    ScriptBackend* backend_ = nullptr;
};

TEST_F(ScanPlot, UnfittedScanScalesToTheLargestCountAndFitLiesOnTheBaseLine) {
    PLOTSCAN();
    EXPECT_DOUBLE_EQ(WS.FRAMEW, 576.0);
    EXPECT_DOUBLE_EQ(WS.FRAMEH, 288.0);
    EXPECT_DOUBLE_EQ(WS.YSCALE, (288.0 - 20.0) / G.CMAX);
    EXPECT_NEAR(WS.XSCALE, 576.0 / 0.8, 1e-9);
    const Segments fit = of_colour(5);
    ASSERT_EQ(fit.size(), 40u);
    for (const auto& s : fit) {
        EXPECT_DOUBLE_EQ(s.y1, 20.0);
        EXPECT_DOUBLE_EQ(s.y2, 20.0);
    }
    // The counts reach the top of the frame at the largest count and span
    // the frame's width.
    double top = 0.0, right = 0.0;
    for (const auto& s : of_colour(1)) {
        top = std::max(top, s.y2);
        right = std::max(right, s.x2);
    }
    EXPECT_NEAR(top, 288.0, 1e-9);
    EXPECT_NEAR(right, 576.0, 1e-9);
}

TEST_F(ScanPlot, LimitMarksOnlyBeforeFitting) {
    PLOTSCAN();
    const Segments m = marks(2);
    ASSERT_EQ(m.size(), 4u);
    const double h = 268.0;
    for (int j = 0; j < 4; ++j) {
        const int i = G.LIMS(j + 1);
        EXPECT_NEAR(m[j].x1, WS.XSCALE * (G.STEPANG(i) - 9.6), 1e-9);
        const double y = WS.YSCALE * G.COUNTS(i) + 20.0;
        EXPECT_NEAR(std::min(m[j].y1, m[j].y2), std::max(y - h / 10.0, 20.0), 1e-9);  // not below the axis
        EXPECT_NEAR(std::max(m[j].y1, m[j].y2), y + h / 10.0, 1e-9);
    }
    EXPECT_EQ(of_colour(2).size(), 5u);  // and the background line between the inner limits

    G.FITMODE = 2;
    PLOTSCAN();
    EXPECT_TRUE(of_colour(2).empty());
}

TEST_F(ScanPlot, PeakMarkAtLargestCountBeforeFittingAndAtPositionAfter) {
    PLOTSCAN();
    Segments m = marks(7);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_NEAR(m[0].x1, WS.XSCALE * (G.STEPANG(G.IMAX) - 9.6), 1e-9);
    EXPECT_NEAR(std::max(m[0].y1, m[0].y2), 288.0, 1e-9);
    EXPECT_NEAR(std::min(m[0].y1, m[0].y2), 288.0 - 0.3 * 268.0, 1e-9);

    G.FITMODE = 2;
    G.PAR(4) = 10.13;
    PLOTSCAN();
    m = marks(7);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_NEAR(m[0].x1, WS.XSCALE * 0.53, 1e-9);
    // A fitted position outside the scan is marked at the nearer edge.
    G.PAR(4) = 11.5;
    PLOTSCAN();
    EXPECT_NEAR(marks(7).at(0).x1, 576.0, 1e-9);
    G.PAR(4) = 2.0;
    PLOTSCAN();
    EXPECT_NEAR(marks(7).at(0).x1, 0.0, 1e-9);
}

TEST_F(ScanPlot, DoubletDrawsBothComponentsAndTwoPeakMarks) {
    PLOTSCAN();
    EXPECT_EQ(of_colour(3).size(), 40u);  // single wavelength: alpha1 only
    EXPECT_EQ(marks(7).size(), 1u);

    G.NWAVE = 2;
    G.WAVE1 = 1.54056;
    G.WAVE2 = 1.54439;
    G.A2SHIFT = 0.11;
    G.MSHIFT = 0.01;
    G.FITMODE = 2;
    PLOTSCAN();
    const Segments comp = of_colour(3);
    ASSERT_EQ(comp.size(), 80u);
    EXPECT_DOUBLE_EQ(G.PAR(4), 10.0);  // the alpha1 position is restored
    // The alpha2 component peaks where alpha2 diffracts, at PAR(6) of the height.
    const double shift = std::asin(1.54439 / 1.54056 * std::sin(20.0 / DEGRAD)) * DEGRAD - 20.0 + 0.01;
    double top1 = 0.0, top2 = 0.0, x2 = 0.0;
    for (std::size_t i = 0; i < 40; ++i) top1 = std::max(top1, comp[i].y2);
    for (std::size_t i = 40; i < 80; ++i) {
        if (comp[i].y2 > top2) {
            top2 = comp[i].y2;
            x2 = comp[i].x2;
        }
    }
    EXPECT_NEAR(x2 / WS.XSCALE + 9.6, 10.0 + shift, 0.011);
    EXPECT_NEAR((top2 - 20.0 - 10.0 * WS.YSCALE) / (top1 - 20.0 - 10.0 * WS.YSCALE), 0.5, 0.05);
    const Segments m = marks(7);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_NEAR(m[1].x1 - m[0].x1, WS.XSCALE * 0.12, 1e-9);
}

TEST_F(ScanPlot, TextsAndPanelFields) {
    G.ISCTYPE = 2;
    PLOTSCAN();
    const auto of_colour_2 = [this] {
        std::vector<DrawOp> out;
        for (const DrawOp& t : list().texts())
            if (t.colour == 2) out.push_back(t);
        return out;
    };
    const auto texts = of_colour_2();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, "STANDARD");
    EXPECT_NEAR(texts[0].y, 10.0, 1e-9);
    EXPECT_EQ(texts[1].text, "Max Counts =     1010");
    EXPECT_NEAR(texts[1].x, 0.6 * 576.0, 1e-9);
    EXPECT_EQ(texts[1].colour, 2);
    EXPECT_EQ(GMENQTEXTSETTING(wid(PANEL(5))), "  1 -2  3");
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(wid(PANEL(7))), 17.0);
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(wid(PANEL(16))), -45.0);

    G.ISCTYPE = 0;
    PLOTSCAN();
    EXPECT_EQ(of_colour_2().size(), 1u);
}

// The plot reads without the manual: omega ticks at round values on the
// base line with their labels under them, counts ticks on the left, both
// axes with quantity and unit, and a legend in the curves' colours.
TEST_F(ScanPlot, AxesWithUnitsAndLegend) {
    PLOTSCAN();
    const double w = WS.FRAMEW;
    std::map<std::string, DrawOp> by_text;
    for (const DrawOp& t : list().texts()) by_text[t.text] = t;
    for (const char* t : {"omega (deg)", "counts"}) EXPECT_EQ(by_text.count(t), 1u) << t;
    const std::pair<const char*, int> legend[] = {
        {"observed", 1}, {"alpha1", 3}, {"fitted profile", 5}, {"peak position", 7}};
    for (const auto& [name, colour] : legend) {
        ASSERT_EQ(by_text.count(name), 1u) << name;
        EXPECT_EQ(by_text[name].colour, colour) << name;
    }
    // Omega labels: round values, each centred under its grey tick on the
    // base line, below the plot's own texts and inside the frame.
    int ticks = 0;
    for (const auto& s : list().segments()) {
        if (s.colour != 8 || s.y1 != WS.XAXISY) continue;
        ++ticks;
        const double omega = G.STEPANG(1) + s.x1 / WS.XSCALE;
        // The display list hands out its texts by value: keep the label.
        std::optional<DrawOp> label;
        for (const DrawOp& t : list().texts())
            if (t.colour == 8 && t.y < WS.XAXISY / 2.0 &&
                t.text.find_first_not_of("-.0123456789") == std::string::npos &&
                std::fabs(std::stod(t.text) - omega) < 1e-6)
                label = t;
        ASSERT_TRUE(label.has_value()) << omega;
        const double half = 2.5 * static_cast<double>(label->text.size());
        EXPECT_GE(label->x, 0.0);
        EXPECT_LE(label->x + 2 * half, w + 1e-9);
        if (s.x1 - half >= 0.0 && s.x1 + half <= w) {
            EXPECT_NEAR(label->x + half, s.x1, 1e-9);
        }
    }
    EXPECT_GE(ticks, 3);
    EXPECT_LE(ticks, 6);
    // The counts ticks stop at the top of the data: the largest count.
    for (const auto& s : list().segments())
        if (s.colour == 8 && s.x1 == 0.0) {
            EXPECT_LE(s.y1, WS.FRAMEH + 1e-9);
        }
}

TEST_F(ScanPlot, EmptyScanDrawsOnlyFiniteCoordinates) {
    G.NPTS = 1;
    G.CMAX = 0.0;
    G.COUNTS(1) = 0.0;
    G.IMAX = 1;
    PLOTSCAN();
    G.NPTS = 0;
    G.IMAX = 0;
    PLOTSCAN();
    for (const auto& s : list().segments()) {
        EXPECT_TRUE(std::isfinite(s.x1) && std::isfinite(s.y1) && std::isfinite(s.x2) && std::isfinite(s.y2));
    }
}

TEST(CalcProfile, ComponentsAreBackgroundPlusScaledPseudoVoigt) {
    Arr1<double, MAXSTEPS> x, out;
    for (int i = 1; i <= 5; ++i) x(i) = 9.9 + 0.05 * (i - 1);
    const Arr1<double, 6> par{{5.0, 0.1, 200.0, 10.0, 0.4, 0.5}};
    double dp, dh, de;
    CALC_PROFILE(1, x, par, 5, out);
    EXPECT_NEAR(out(3), 5.0 + 200.0 * PSVOIGT(10.0, 10.0, 0.4, 0.1, dp, dh, de), 1e-9);
    CALC_PROFILE(2, x, par, 5, out);
    EXPECT_NEAR(out(3), 5.0 + 100.0 * PSVOIGT(10.0, 10.0, 0.4, 0.1, dp, dh, de), 1e-9);
    EXPECT_NEAR(out(1), out(5), 1e-9);
}

}  // namespace
}  // namespace tarnivox
