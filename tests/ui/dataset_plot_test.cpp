// The data-set plot on the headless window: its axes from the data, the
// labels, every point where its values put it, the points left out, and
// the degenerate data sets; the SVG of a delta-d/d plot for review.
#include "ui/dataset_plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "core/store.h"
#include "support/scratch.h"
#include "toolkit/script/script_backend.h"
#include "ui/window_state.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

class DataSetPlot : public ::testing::Test {
protected:
    void SetUp() override {
        reset_store();
        backend_ = &test::open_headless_window();
    }
    void TearDown() override { set_toolkit_backend(nullptr); }

    void set(const std::vector<double>& x, const std::vector<double>& y) {
        n_ = static_cast<int>(x.size());
        for (int i = 1; i <= n_; ++i) {
            x_(i) = x[static_cast<std::size_t>(i - 1)];
            y_(i) = y[static_cast<std::size_t>(i - 1)];
        }
    }
    const DisplayList& list() const { return backend_->display_list(WS.GFRAME); }
    std::vector<DrawOp> squares() const {
        std::vector<DrawOp> out;
        for (const DrawOp& op : list().ops)
            if (op.kind == DrawOp::FillRect) out.push_back(op);
        return out;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const DrawOp& op : list().texts()) out.push_back(op.text);
        return out;
    }
    const DrawOp* text(const std::string& t) const {
        static DrawOp found;
        for (const DrawOp& op : list().texts())
            if (op.text == t) {
                found = op;
                return &found;
            }
        return nullptr;
    }
    void expect_all_finite() const {
        for (const DrawOp& op : list().ops)
            EXPECT_TRUE(std::isfinite(op.x) && std::isfinite(op.y) && std::isfinite(op.x2) &&
                        std::isfinite(op.y2));
    }

    ScriptBackend* backend_ = nullptr;
    DataSetValues x_, y_;
    int n_ = 0;
};

// The delta-d/d values of a data set from 2theta 12.3 to 57.8.
const std::vector<double> kTth = {12.3, 18.0, 25.4, 33.3, 41.0, 49.9, 57.8};
const std::vector<double> kDdd = {-0.00234, 0.00512, 0.0011, -0.0004, 0.0021, 0.0, 0.00033};

TEST_F(DataSetPlot, AxesOnRoundTensAndARoundedDecimalRange) {
    set(kTth, kDdd);
    const DataSetAxes ax = dataset_axes(x_, y_, n_, WS.FRAMEW);
    EXPECT_DOUBLE_EQ(ax.xmin, 10.0);
    EXPECT_DOUBLE_EQ(ax.xmax, 60.0);
    EXPECT_EQ(ax.nx, 5);
    EXPECT_DOUBLE_EQ(ax.xstep, 10.0);
    EXPECT_NEAR(ax.ymin, -0.003, 1e-15);
    EXPECT_NEAR(ax.ymax, 0.006, 1e-15);
    EXPECT_NEAR(round_plot_limit(0.00512, true), 0.006, 1e-15);
    EXPECT_NEAR(round_plot_limit(-0.00234, false), -0.003, 1e-15);
    EXPECT_NEAR(round_plot_limit(3.7, true), 4.0, 1e-15);
    EXPECT_DOUBLE_EQ(round_plot_limit(0.0, true), 0.0);
    // Values of one sign: the lower limit moves down, the upper one up, so
    // that the range holds every value.
    EXPECT_NEAR(round_plot_limit(0.00234, false), 0.002, 1e-15);
    EXPECT_NEAR(round_plot_limit(-0.00234, true), -0.002, 1e-15);
    EXPECT_NEAR(round_plot_limit(0.002, false), 0.001, 1e-15);
}

TEST_F(DataSetPlot, EveryPointWhereItsValuesSay) {
    set(kTth, kDdd);
    PLOTDATASET(x_, y_, MAXREFLIST, n_);
    const double w = WS.FRAMEW, yb = WS.XAXISY, h = WS.FRAMEH - WS.XAXISY;
    const auto sq = squares();
    // The point at the lower limit (-0.00234 lies above -0.003) and every
    // other one are drawn: 7 squares of 2 x 2 units.
    ASSERT_EQ(sq.size(), kTth.size());
    for (std::size_t i = 0; i < sq.size(); ++i) {
        const double px = (kTth[i] - 10.0) * w / 50.0;
        const double py = (kDdd[i] + 0.003) * h / 0.009 + yb;
        EXPECT_NEAR((sq[i].x + sq[i].x2) / 2.0, px, 1e-9);
        EXPECT_NEAR((sq[i].y + sq[i].y2) / 2.0, py, 1e-9);
        EXPECT_NEAR(sq[i].x2 - sq[i].x, 2.0, 1e-12);
    }
    // Labels: 2theta every 10 degrees, five ordinate values and the top.
    for (const char* t :
         {"10.00", "20.00", "30.00", "40.00", "50.00", "60.00", "2THETA: DEG", "DELTA-D/D PLOT", "-0.00300",
          "-0.00120", " 0.00060", " 0.00240", " 0.00420", " 0.00600"})
        EXPECT_NE(text(t), nullptr) << t;
    // Labels centred on their ticks (5 characters of width 5), the last
    // one ending at the frame's right edge, under its tick.
    EXPECT_NEAR(text("60.00")->x, w - 25.0, 1e-9);
    EXPECT_NEAR(text("30.00")->x, 2.0 * w / 5.0 - 12.5, 1e-9);
    EXPECT_NEAR(text("10.00")->x, 0.0, 1e-9);
    EXPECT_NEAR(text(" 0.00600")->y, 0.96 * h + yb, 1e-9);
    // The zero line lies where y = 0 is.
    bool zero_line = false;
    for (const auto& s : list().segments())
        zero_line |= std::fabs(s.y1 - (yb + 0.003 * h / 0.009)) < 1e-9 && s.y1 == s.y2 && s.x2 - s.x1 == w;
    EXPECT_TRUE(zero_line);
    EXPECT_NEAR(WS.XSCALE, w / 50.0, 1e-12);
    EXPECT_NEAR(WS.YSCALE, h / 0.009, 1e-6);
}

// Points on the frame's first unit or on the x axis are not drawn; the
// axes keep every point off them: a lowest 2theta on a round ten starts the
// axis one interval lower, values of one sign get a lower limit below them.
TEST_F(DataSetPlot, EveryPointLiesInsideTheAxes) {
    set({10.0, 20.0, 30.0, 40.0}, {0.004, 0.002, 0.003, 0.0049});
    PLOTDATASET(x_, y_, MAXREFLIST, n_);
    DataSetAxes ax = dataset_axes(x_, y_, n_, WS.FRAMEW);
    EXPECT_DOUBLE_EQ(ax.xmin, 0.0);
    EXPECT_DOUBLE_EQ(ax.xmax, 50.0);
    EXPECT_NEAR(ax.ymin, 0.001, 1e-15);
    EXPECT_NEAR(ax.ymax, 0.005, 1e-15);
    EXPECT_EQ(squares().size(), 4u);
    // A lower limit of 0 with values at 0 goes one fifth of the range lower.
    set({12.0, 20.0}, {0.0, 0.002});
    ax = dataset_axes(x_, y_, n_, WS.FRAMEW);
    EXPECT_NEAR(ax.ymax, 0.003, 1e-15);
    EXPECT_NEAR(ax.ymin, -0.0006, 1e-15);
    PLOTDATASET(x_, y_, MAXREFLIST, n_);
    EXPECT_EQ(squares().size(), 2u);
    // Asked for fewer points than the arrays hold, or a declared dimension
    // below n: only those.
    PLOTDATASET(x_, y_, 1, n_);
    EXPECT_EQ(squares().size(), 1u);
    PLOTDATASET(x_, y_, MAXREFLIST, -3);
    EXPECT_EQ(squares().size(), 0u);
}

// N = 0, all X equal, all Y equal, all Y 0, values that are no numbers:
// finite axes, nothing drawn outside the frame, no NaN.
TEST_F(DataSetPlot, DegenerateDataSetsGiveFiniteAxes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        std::vector<double> x, y;
        std::size_t drawn;
    };
    const std::vector<Case> cases = {
        {"no points", {}, {}, 0},
        {"one point", {25.0}, {0.001}, 1},
        {"all x equal", {30.0, 30.0, 30.0}, {-0.001, 0.0, 0.002}, 3},
        {"all y equal", {12.0, 40.0}, {0.0007, 0.0007}, 2},
        {"all y zero", {12.0, 40.0}, {0.0, 0.0}, 2},
        {"no numbers", {nan, 20.0, 30.0}, {0.001, nan, 0.002}, 1},
        {"beyond 180", {200.0, 250.0}, {0.001, -0.001}, 2},
        {"wild 2theta", {5.0, 1.0e9}, {0.001, -0.001}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        set(c.x, c.y);
        const DataSetAxes ax = dataset_axes(x_, y_, n_, WS.FRAMEW);
        EXPECT_TRUE(std::isfinite(ax.xmin) && std::isfinite(ax.xmax) && ax.xmax > ax.xmin);
        EXPECT_TRUE(std::isfinite(ax.ymin) && std::isfinite(ax.ymax) && ax.ymax > ax.ymin);
        EXPECT_GE(ax.nx, 1);
        EXPECT_LE(ax.nx, 36);
        PLOTDATASET(x_, y_, MAXREFLIST, n_);
        expect_all_finite();
        EXPECT_EQ(squares().size(), c.drawn);
        for (const DrawOp& op : squares()) {
            EXPECT_GT(op.x2, 1.0);
            EXPECT_LE(op.x2, WS.FRAMEW + 1.0);
            EXPECT_LE(op.y2, WS.FRAMEH);
        }
        for (const std::string& t : texts()) EXPECT_EQ(t.find('*'), std::string::npos) << t;
    }
}

TEST_F(DataSetPlot, LabelsOfWideValuesAreWhole) {
    set({95.0, 135.0}, {150.0, -2.0});
    PLOTDATASET(x_, y_, MAXREFLIST, n_);
    EXPECT_NE(text("140.00"), nullptr);
    EXPECT_NE(text("151.00000"), nullptr);
    for (const std::string& t : texts()) EXPECT_EQ(t.find('*'), std::string::npos) << t;
}

// The SVG of the headless window, kept in the build folder for review.
TEST_F(DataSetPlot, SvgOfADeltaDPlotForReview) {
    set(kTth, kDdd);
    PLOTDATASET(x_, y_, MAXREFLIST, n_);
    const fs::path dir = fs::path(TARNIVOX_BINARY_DIR) / "dataset_plot_review";
    fs::create_directories(dir);
    const std::string svg = to_svg(list());
    std::ofstream(dir / "tarnivox_deltad_plot.svg") << svg;
    EXPECT_NE(svg.find("DELTA-D/D PLOT"), std::string::npos);
    EXPECT_NE(svg.find("60.00"), std::string::npos);
    EXPECT_EQ(svg.find("nan"), std::string::npos);
}

}  // namespace
}  // namespace tarnivox
