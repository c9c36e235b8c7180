// "Delta-d/d" on a refinement list measured on a known crystal: the log
// records, the trend a 2theta zero error gives, the scatter of angle noise
// around 0, the plot of the points, and the odd lists.
#include "commands/deltad.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/store.h"
#include "io/units.h"
#include "refine/delta_d.h"
#include "refine/geometry.h"
#include "support/geometry_builder.h"
#include "support/scratch.h"
#include "toolkit/script/script_backend.h"
#include "ui/window_state.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

struct D2Record {
    int h = 0, k = 0, l = 0;
    double tobs = 0.0, tcal = 0.0, r = 0.0;
    bool has_r = false;
};

struct DeltaDLog {
    std::vector<std::string> lines;
    std::vector<D2Record> rows;
    std::string min, max, average;
};

std::string after(const std::string& line, const std::string& lead) {
    const std::size_t p = line.find(lead);
    return p == std::string::npos ? std::string() : line.substr(p + lead.size());
}

class DeltaD : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::make_scratch_dir("tarnivox_deltad");
        reset_store();
        close_all_units();
        backend_ = &test::open_headless_window("", dir_.string());
        ASSERT_EQ(open_unit(LU_LOG, (dir_ / "run.log").string(), OpenMode::Replace, true), 0);
        G.LOGOPEN = 1;
    }
    void TearDown() override {
        set_toolkit_backend(nullptr);
        close_all_units();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // A monoclinic crystal measured with Mo radiation up to 2theta 60,
    // with Gaussian noise on the angles and a 2theta zero error added to
    // every observed 2theta.  UB and the reciprocal cell are the true ones.
    testdata::ReflectionSet measure(int n, double noise, double tth_zero) {
        testdata::GeometryOptions opt;
        opt.cell = {7.5, 9.1, 11.3, 90.0, 101.5, 90.0};
        opt.rx = 12.0;
        opt.ry = -31.0;
        opt.rz = 47.0;
        opt.wave = 0.70930;
        opt.max_tth = 60.0;
        opt.noise = noise;
        opt.seed = 7;
        testdata::ReflectionSet set = testdata::loaded_refinement_list(opt, n);
        RECIP_CELL();
        for (int i = 1; i <= G.NUBREF; ++i) G.TTHREF(i) += tth_zero;
        return set;
    }

    DeltaDLog run() {
        RUN_DELTAD();
        flush_unit(LU_LOG);
        DeltaDLog log;
        log.lines = test::read_lines(dir_ / "run.log");
        bool in_list = false;
        for (const std::string& l : log.lines) {
            if (l.find("2TH(OBS)") != std::string::npos) {
                in_list = true;
                continue;
            }
            if (l.find("MINIMUM VALUE") != std::string::npos) {
                in_list = false;
                log.min = after(l, "= ");
            }
            if (l.find("MAXIMUM VALUE") != std::string::npos) log.max = after(l, "= ");
            if (l.find("AVERAGE VALUE") != std::string::npos) log.average = after(l, "= ");
            if (!in_list || l.empty()) continue;
            // 3I4,2F9.4,F10.6 less the carriage-control column.
            D2Record r;
            r.h = std::stoi(l.substr(0, 3));
            r.k = std::stoi(l.substr(3, 4));
            r.l = std::stoi(l.substr(7, 4));
            r.tobs = std::stod(l.substr(11, 9));
            r.tcal = std::stod(l.substr(20, 9));
            r.has_r = l.size() > 29;
            if (r.has_r) r.r = std::stod(l.substr(29, 10));
            log.rows.push_back(r);
        }
        return log;
    }

    // The points of the plot, in frame coordinates (centres of the squares).
    std::vector<std::pair<double, double>> plotted() const {
        std::vector<std::pair<double, double>> out;
        for (const DrawOp& op : backend_->display_list(WS.GFRAME).ops)
            if (op.kind == DrawOp::FillRect) out.emplace_back((op.x + op.x2) / 2.0, (op.y + op.y2) / 2.0);
        return out;
    }

    fs::path dir_;
    ScriptBackend* backend_ = nullptr;
};

// Least-squares slope of y on x.
double slope(const std::vector<double>& x, const std::vector<double>& y) {
    double mx = 0, my = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= static_cast<double>(x.size());
    my /= static_cast<double>(y.size());
    double sxy = 0, sxx = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
    }
    return sxy / sxx;
}

// A 2theta zero error of +0.05 degrees: d_obs is too small by
// cot(theta) dtheta, most at low angles, so delta-d/d rises with 2theta
// along -cot(theta) * 0.025 / 57.29578.
TEST_F(DeltaD, ZeroErrorGivesTheTrendItPredicts) {
    const double zero = 0.05;
    measure(150, 0.002, zero);  // the noise is the sigma below
    ASSERT_GE(G.NUBREF, 100);
    const DeltaDLog log = run();
    ASSERT_EQ(static_cast<int>(log.rows.size()), G.NUBREF);
    const double sigma = 0.002;
    std::vector<double> tth, r, predicted, spread;
    for (int i = 1; i <= G.NUBREF; ++i) {
        const D2Record& row = log.rows[static_cast<std::size_t>(i - 1)];
        EXPECT_EQ(row.h, G.IHREF(i, 1));
        EXPECT_NEAR(row.tobs, G.TTHREF(i), 5e-5);
        ASSERT_TRUE(row.has_r);
        const double theta = (std::fabs(row.tobs) - zero) / 2.0 / 57.29578;
        tth.push_back(std::fabs(row.tobs));
        r.push_back(row.r);
        predicted.push_back(-(zero / 2.0 / 57.29578) / std::tan(theta));
        spread.push_back(sigma / 2.0 / 57.29578 / std::tan(theta));
    }
    EXPECT_GT(slope(tth, r), 0.0);
    EXPECT_NEAR(slope(predicted, r), 1.0, 0.05);
    // Each point within 4.5 sigma of the noise on its 2theta.
    for (std::size_t i = 0; i < r.size(); ++i)
        EXPECT_LT(std::fabs(r[i] - predicted[i]), 4.5 * spread[i] + 1e-6) << "2theta " << tth[i];
    // Every point is plotted where its values say.
    const auto points = plotted();
    EXPECT_EQ(points.size(), r.size());
}

// Without a zero error the values scatter around 0 as the angle noise
// gives: |delta-d/d| ~ cot(theta) sigma(theta).
TEST_F(DeltaD, WithoutZeroErrorTheValuesScatterAroundZero) {
    const double sigma = 0.01;  // degrees on each angle, 2theta among them
    measure(300, sigma, 0.0);
    ASSERT_GE(G.NUBREF, 200);
    const DeltaDLog log = run();
    ASSERT_EQ(static_cast<int>(log.rows.size()), G.NUBREF);
    double sum = 0.0, sum2 = 0.0, expected2 = 0.0;
    for (const D2Record& row : log.rows) {
        sum += row.r;
        sum2 += row.r * row.r;
        const double cot = 1.0 / std::tan(row.tobs / 2.0 / 57.29578);
        const double e = cot * sigma / 2.0 / 57.29578;
        expected2 += e * e;
    }
    const double n = static_cast<double>(log.rows.size());
    const double rms = std::sqrt(sum2 / n);
    const double expected_rms = std::sqrt(expected2 / n);
    EXPECT_NEAR(rms / expected_rms, 1.0, 0.15);
    EXPECT_LT(std::fabs(sum / n), 4.0 * expected_rms / std::sqrt(n));
    EXPECT_NEAR(std::stod(log.average), sum / n, 1e-6);
}

// The records of the log: the header, one line per reflection, the summary.
TEST_F(DeltaD, LogRecordsOfAnAgreeingAndAnOutOfReachReflection) {
    measure(2, 0.0, 0.0);
    ASSERT_EQ(G.NUBREF, 2);
    G.TTHREF(1) = TWOTHETA(Indices{{G.IHREF(1, 1), G.IHREF(1, 2), G.IHREF(1, 3)}});
    // Beyond the limiting sphere: TWOTHETA gives 180, d_cal = WAVE1 / 2.
    G.IHREF(2, 1) = 40;
    G.TTHREF(2) = 90.0;
    const DeltaDLog log = run();
    ASSERT_GE(log.lines.size(), 4u);
    EXPECT_EQ(log.lines[2], "   RESULTS OF DELTA-D/D CALCULATION");
    EXPECT_EQ(log.lines[3], "  H   K   L  2TH(OBS) 2TH(cal) DELTAD/D");
    ASSERT_EQ(log.rows.size(), 2u);
    EXPECT_EQ(log.lines[4].substr(29), "  0.000000");
    EXPECT_DOUBLE_EQ(log.rows[1].tcal, 180.0);
    const double d_obs = G.WAVE1 / (2.0 * std::sin(45.0 / 57.29578));
    EXPECT_NEAR(log.rows[1].r, d_obs / (G.WAVE1 / 2.0) - 1.0, 1e-6);
    EXPECT_EQ(log.min, "  0.000000");
    EXPECT_EQ(log.max, "  0.414214");
    EXPECT_EQ(log.average, "  0.207107");
    EXPECT_EQ(log.lines.back(), "");
}

// Observed 2theta below 0 (the other side of the detector circle) gives the
// same d and is plotted at |2theta|.
TEST_F(DeltaD, NegativeObservedTwoThetaIsTheSameReflection) {
    measure(3, 0.0, 0.0);
    for (int i = 1; i <= 3; ++i) G.TTHREF(i) = -G.TTHREF(i);
    const DeltaDLog log = run();
    ASSERT_EQ(log.rows.size(), 3u);
    for (const D2Record& row : log.rows) EXPECT_NEAR(row.r, 0.0, 1e-6);
    EXPECT_EQ(plotted().size(), 3u);
}

// An empty list (UB known from the data file, preprocessing kept nothing):
// the header, the start values of min and max, an average of 0, no points,
// nothing that is not a number.
TEST_F(DeltaD, EmptyListWritesTheSummaryOfNothing) {
    G.WAVE1 = 0.7093;
    G.NUBREF = 0;
    const DeltaDLog log = run();
    EXPECT_TRUE(log.rows.empty());
    EXPECT_EQ(log.min, "1000.000000");
    EXPECT_EQ(log.max, "-1000.000000");
    EXPECT_EQ(log.average, "  0.000000");
    EXPECT_TRUE(plotted().empty());
    const std::string text = test::read_text(dir_ / "run.log");
    EXPECT_EQ(text.find("nan"), std::string::npos);
    EXPECT_EQ(text.find('*'), std::string::npos);
    for (const DrawOp& op : backend_->display_list(WS.GFRAME).ops) {
        EXPECT_TRUE(std::isfinite(op.x) && std::isfinite(op.y) && std::isfinite(op.x2) &&
                    std::isfinite(op.y2));
    }
}

// A reflection with no d-spacing (2theta 0, or indices 0 0 0) has no
// delta-d/d: listed without it, left out of the summary and the plot.
TEST_F(DeltaD, ReflectionWithoutDSpacingIsLeftOut) {
    measure(3, 0.0, 0.0);
    G.TTHREF(2) = 0.0;
    const DeltaDLog log = run();
    ASSERT_EQ(log.rows.size(), 3u);
    EXPECT_FALSE(log.rows[1].has_r);
    EXPECT_TRUE(log.rows[0].has_r && log.rows[2].has_r);
    EXPECT_EQ(plotted().size(), 2u);
    EXPECT_EQ(log.average, "  0.000000");
    double r = 5.0;
    EXPECT_FALSE(delta_d_over_d(20.0, 0.0, 0.7093, r));
    EXPECT_FALSE(delta_d_over_d(20.0, 20.0, 0.0, r));
    EXPECT_DOUBLE_EQ(r, 5.0);
}

// With the log closed nothing is written, and the plot is still drawn.
TEST_F(DeltaD, ClosedLogStillPlots) {
    measure(20, 0.0, 0.02);
    close_unit(LU_LOG);
    G.LOGOPEN = 0;
    const auto before = fs::file_size(dir_ / "run.log");
    RUN_DELTAD();
    EXPECT_EQ(fs::file_size(dir_ / "run.log"), before);
    EXPECT_EQ(static_cast<int>(plotted().size()), G.NUBREF);
    int icancel = 7;
    RUN_CELLPARAM_DIALOG(icancel);
    EXPECT_EQ(icancel, 0);
}

}  // namespace
}  // namespace tarnivox
