// The cell refinement called as an operation on simulated refinement lists:
// what it returns is what it stores and what it logs, the values lie within
// three esds of the truth, and a refinement that fails or is refused
// changes nothing and says why.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/store.h"
#include "io/units.h"
#include "operations/refine_cell.h"
#include "refine/geometry.h"
#include "support/geometry_builder.h"
#include "support/scratch.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;
using testdata::GeometryOptions;

// Numbers after `label` on the first log line that holds it.
std::vector<double> numbers_after(const std::vector<std::string>& log, const std::string& label) {
    for (const std::string& l : log) {
        const std::size_t at = l.find(label);
        if (at == std::string::npos) continue;
        std::istringstream in(l.substr(at + label.size()));
        std::vector<double> v;
        for (double x; in >> x;) v.push_back(x);
        return v;
    }
    return {};
}

class RefineCellOperation : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::make_scratch_dir("tarnivox_refine_cell");
        reset_store();
        close_all_units();
        set_ub_inverse_cache(true);
        ASSERT_EQ(open_unit(LU_LOG, (dir_ / "run.log").string(), OpenMode::Replace, true), 0);
        G.LOGOPEN = 1;
    }
    void TearDown() override {
        close_all_units();
        fs::remove_all(dir_);
    }
    std::vector<std::string> log() {
        flush_unit(LU_LOG);
        return test::read_lines(dir_ / "run.log");
    }
    static GeometryOptions shifted() {
        GeometryOptions opt;
        opt.cell = {8.4, 10.2, 13.9, 90.0, 101.0, 90.0};
        opt.rx = 17, opt.ry = 48, opt.rz = -63;
        opt.max_tth = 60.0;
        opt.omzero = 0.04;
        opt.xtaloff = {0.12, -0.08, 0.05};
        opt.noise = 0.005;
        opt.seed = 11;
        return opt;
    }
    fs::path dir_;
};

TEST_F(RefineCellOperation, ResultIsWhatIsStoredAndLoggedAndHoldsTheTruth) {
    const GeometryOptions opt = shifted();
    testdata::loaded_refinement_list(opt, 200);
    MessageList messages;
    const RefineCellResult r = refine_cell({true, true, 0}, messages);
    ASSERT_TRUE(r.refined) << r.failure_text;
    EXPECT_TRUE(messages.all.empty());
    EXPECT_EQ(r.failure, 0);
    EXPECT_EQ(r.reflections, G.NUBREF);
    EXPECT_TRUE(r.cell_has_esd && r.omega_zero_refined && r.offsets_refined);
    EXPECT_EQ(G.UBFLAG, 1);
    EXPECT_EQ(G.UBFAIL, 0);
    for (int k = 1; k <= 7; ++k) {
        EXPECT_EQ(r.cell[k - 1], G.CELL(k));
        EXPECT_EQ(r.cell_esd[k - 1], G.CELLESD(k));
    }
    EXPECT_EQ(r.omega_zero, G.OMZERO);
    EXPECT_EQ(r.omega_zero_esd, G.OMZESD);
    for (int k = 1; k <= 3; ++k) {
        EXPECT_EQ(r.offsets[k - 1], G.XTALOFF(k));
        EXPECT_EQ(r.offsets_esd[k - 1], G.XOFFESD(k));
    }

    // The log says the same, to its decimals.
    const auto l = log();
    const std::vector<double> cell = numbers_after(l, "CELL            ");
    const std::vector<double> esd = numbers_after(l, "ESDs            ");
    ASSERT_EQ(cell.size(), 7u);
    ASSERT_EQ(esd.size(), 7u);
    for (std::size_t k = 0; k < 7; ++k) {
        const double half_unit = k < 3 ? 5e-6 : (k < 6 ? 5e-4 : 5e-5);
        EXPECT_NEAR(cell[k], r.cell[k], half_unit) << k;
        EXPECT_NEAR(esd[k], r.cell_esd[k], half_unit) << k;
    }
    const std::vector<double> zero = numbers_after(l, "OMEGA-ZERO = ");
    const std::vector<double> zero_esd = numbers_after(l, "ESD OMEGA-ZERO = ");
    const std::vector<double> off = numbers_after(l, "    CRYSTAL OFFSETS = ");
    const std::vector<double> off_esd = numbers_after(l, "ESD CRYSTAL OFFSETS = ");
    ASSERT_EQ(zero.size(), 1u);
    ASSERT_EQ(zero_esd.size(), 1u);
    ASSERT_EQ(off.size(), 3u);
    ASSERT_EQ(off_esd.size(), 3u);
    EXPECT_NEAR(zero[0], r.omega_zero, 5e-5);
    EXPECT_NEAR(zero_esd[0], r.omega_zero_esd, 5e-5);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(off[k], r.offsets[k], 5e-5);
        EXPECT_NEAR(off_esd[k], r.offsets_esd[k], 5e-5);
    }

    // The values against the simulated crystal and instrument.
    const double truth_cell[6] = {opt.cell[0], opt.cell[1], opt.cell[2],
                                  opt.cell[3], opt.cell[4], opt.cell[5]};
    for (int k = 0; k < 6; ++k) {
        EXPECT_GT(r.cell_esd[k], 0.0) << k;
        EXPECT_LE(std::fabs(r.cell[k] - truth_cell[k]), 3.0 * r.cell_esd[k]) << k;
    }
    std::printf(
        "omega zero %.4f (%.4f), offsets %.4f (%.4f) %.4f (%.4f) %.4f (%.4f); simulated 0.04, 0.12 -0.08 "
        "0.05\n",
        r.omega_zero, r.omega_zero_esd, r.offsets[0], r.offsets_esd[0], r.offsets[1], r.offsets_esd[1],
        r.offsets[2], r.offsets_esd[2]);
    EXPECT_LE(std::fabs(r.omega_zero - opt.omzero), 3.0 * r.omega_zero_esd);
    for (int k = 0; k < 3; ++k)
        EXPECT_LE(std::fabs(r.offsets[k] - opt.xtaloff[static_cast<std::size_t>(k)]), 3.0 * r.offsets_esd[k])
            << k;
}

// What a refinement changes, compared whole.
struct Refined {
    Arr2<double, 3, 3> ub;
    Arr1<double, 7> cell, esd;
    Arr1<double, 3> off;
    double zero;
    int flag;
    bool operator==(const Refined&) const = default;
};
Refined refined_now() { return {G.UB, G.CELL, G.CELLESD, G.XTALOFF, G.OMZERO, G.UBFLAG}; }

TEST_F(RefineCellOperation, FailedOrRefusedRefinementChangesNothingAndSaysWhy) {
    struct Case {
        int n;
        RefineCellRequest request;
        int failure;
    };
    const Case cases[] = {
        {3, {false, true, 0}, UB_FIT_NO_REDUNDANCY},     // the zero point with no observation to spare
        {40, {false, false, 6}, UB_FIT_WRONG_SYMMETRY},  // a monoclinic crystal taken for cubic
        {2, {false, false, 0}, UB_FIT_TOO_FEW},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failure);
        testdata::loaded_refinement_list(shifted(), c.n);
        // A refinement that stands from before.
        G.CELL = Arr1<double, 7>{{8.0, 9.0, 10.0, 90.0, 100.0, 90.0, 700.0}};
        G.CELLESD.fill(0.001);
        G.XTALOFF = Arr1<double, 3>{{0.1, 0.2, 0.3}};
        G.OMZERO = 0.02;
        const Refined before = refined_now();
        const std::size_t lines_before = log().size();

        MessageList messages;
        const RefineCellResult r = refine_cell(c.request, messages);
        EXPECT_FALSE(r.refined);
        EXPECT_EQ(r.failure, c.failure);
        EXPECT_EQ(r.failure_text, ub_fit_failure_text(c.failure));
        EXPECT_EQ(G.UBFAIL, c.failure);
        EXPECT_TRUE(refined_now() == before);
        ASSERT_EQ(messages.all.size(), 1u);
        EXPECT_EQ(messages.all[0].kind, MessageKind::Error);
        EXPECT_EQ(messages.all[0].text, c.failure == UB_FIT_TOO_FEW
                                            ? "Too Few Reflections for Least Squares"
                                            : "Problem with least squares procedure for unit-cell");
        const auto l = log();
        if (c.failure == UB_FIT_TOO_FEW) {
            EXPECT_EQ(l.size(), lines_before);  // refused before anything is logged
        } else {
            ASSERT_GT(l.size(), 2u);
            EXPECT_EQ(l[l.size() - 2], " REFINEMENT FAILED: " + r.failure_text);
            EXPECT_EQ(l.back(), " ORIENTATION MATRIX, CELL, OMEGA-ZERO AND OFFSETS ARE UNCHANGED");
        }
    }
}

}  // namespace
}  // namespace tarnivox
