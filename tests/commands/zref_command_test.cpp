// "Zref" on the headless window: the refinement list holds reflections
// measured at eight equivalent settings (made by the simulator with known
// zero errors and crystal offset, the omega peaks with the scatter of a
// profile fit); the command logs each group, rebuilds the list from the
// true angles, and a UB fit on the rebuilt list is at least as good as on
// the raw one.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "commands/zref.h"
#include "core/store.h"
#include "io/units.h"
#include "refine/ub_lsq.h"
#include "sim_zref.h"
#include "support/scratch.h"
#include "ui/preprocess_state.h"
#include "ui/widgets.h"
#include "ui/window_state.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

class ZrefCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::fresh_run_in_scratch_dir("tarnivox_zref");
        backend_ = &test::open_headless_window();
        G.PARITY.fill(1);
        G.GONCON1 = cfg_.goncon1;
        G.GONCON2 = cfg_.goncon2;
        G.WAVE1 = cfg_.wave1;
        ASSERT_EQ(open_unit(LU_LOG, (dir_ / "zref.log").string(), OpenMode::Replace, true), 0);
        G.LOGOPEN = 1;
    }
    void TearDown() override { test::end_run_in_scratch_dir(dir_); }

    // The groups in the list in order, each setting's omega peak with
    // Gaussian scatter of `sigma` degrees, every entry's width and
    // background columns marked with its row.
    void load_groups(const sim::ZrefData& d, double sigma) {
        std::mt19937_64 rng(77);
        std::normal_distribution<double> noise(0.0, sigma);
        G.NUBREF = 0;
        for (const auto& g : d.groups) {
            for (int k = 0; k < 8; ++k) {
                const int n = ++G.NUBREF;
                const int sign = k % 2 == 0 ? 1 : -1;
                for (int j = 1; j <= 3; ++j) G.IHREF(n, j) = sign * g.hkl[static_cast<std::size_t>(j - 1)];
                const auto& m = g.measured[static_cast<std::size_t>(k)];
                G.TTHREF(n) = m[0];
                G.OMREF(n) = m[1] + (sigma > 0.0 ? noise(rng) : 0.0);
                G.CHIREF(n) = m[2];
                G.PHIREF(n) = m[3];
                G.FWREF(n) = 1000.0 + n;
                G.FWSREF(n) = 3000.0 + n;
                G.BGREF(n) = 2000.0 + n;
            }
        }
    }

    std::vector<std::string> log_lines() {
        flush_unit(LU_LOG);
        return test::read_lines(dir_ / "zref.log");
    }

    static std::vector<double> numbers_after(const std::string& line, const std::string& tag) {
        std::vector<double> v;
        const auto at = line.find(tag);
        if (at == std::string::npos) return v;
        std::istringstream in(line.substr(at + tag.size()));
        std::string w;
        while (in >> w) {
            try {
                v.push_back(std::stod(w));
            } catch (...) {
            }
        }
        return v;
    }

    fs::path dir_;
    ScriptBackend* backend_ = nullptr;
    sim::ZrefConfig cfg_;
};

TEST_F(ZrefCommand, RecoversTrueAnglesZerosAndOffsetAndRebuildsTheList) {
    cfg_.ngroups = 12;
    cfg_.zeros = {0.06, -0.04, 0.15};
    cfg_.xtaloff = {0.03, -0.04, 0.05};
    const sim::ZrefData d = sim::make_zref_data(cfg_);
    ASSERT_EQ(d.groups.size(), 12u);
    load_groups(d, 0.0005);
    // Group 3 is measured with 2theta of the wrong sign at setting 2.
    G.TTHREF(2 * 8 + 2) = -G.TTHREF(2 * 8 + 2);

    RUN_ZREF();

    ASSERT_EQ(G.NUBREF, 11);
    const std::vector<std::string> shown = test::shown_messages(*backend_);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "   11 Reflection groups processed by Zref");
    std::size_t g = 0;
    for (int n = 1; n <= 11; ++n, ++g) {
        if (g == 2) ++g;  // the broken group left no entry
        const auto& grp = d.groups[g];
        for (int j = 1; j <= 3; ++j) EXPECT_EQ(G.IHREF(n, j), grp.hkl[static_cast<std::size_t>(j - 1)]);
        // 1/sqrt(8) of the peak scatter, for 2theta twice that.
        EXPECT_NEAR(G.TTHREF(n), grp.truth[0], 0.002);
        EXPECT_NEAR(G.OMREF(n), grp.truth[1], 0.001);
        EXPECT_NEAR(G.CHIREF(n), grp.truth[2], 1e-3);
        EXPECT_DOUBLE_EQ(G.PHIREF(n), grp.measured[0][3]);
        // Width and background of the group's first member.
        const int first = static_cast<int>(g) * 8 + 1;
        EXPECT_EQ(G.FWREF(n), 1000.0 + first);
        EXPECT_EQ(G.FWSREF(n), 3000.0 + first);
        EXPECT_EQ(G.BGREF(n), 2000.0 + first);
    }

    // The log: the header, every group with its eight settings, the broken
    // group's code and the number it would have had given again to the next.
    const auto lines = log_lines();
    int z2 = 0, z4 = 0, z5 = 0;
    std::vector<int> numbers;
    std::array<double, 3> offset_sum{};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        EXPECT_EQ(l.find("NaN"), std::string::npos);
        EXPECT_EQ(l.find("nan"), std::string::npos);
        if (l.find("Results For Reflection No.") != std::string::npos) {
            ++z2;
            numbers.push_back(std::stoi(l.substr(27, 2)));
        }
        if (l == " SUBROUTINE CALC_OFFSETS RETURNED IERR = 1") ++z4;
        if (l.find("         ZEROES: ") == 0) {
            ++z5;
            const auto z = numbers_after(l, "ZEROES:");
            ASSERT_EQ(z.size(), 3u);
            for (int j = 0; j < 3; ++j)
                EXPECT_NEAR(z[static_cast<std::size_t>(j)], cfg_.zeros[static_cast<std::size_t>(j)], 0.002);
        }
        if (l.find("CRYSTAL OFFSETS: ") == 0) {
            const auto o = numbers_after(l, "OFFSETS:");
            ASSERT_EQ(o.size(), 3u);
            for (int j = 0; j < 3; ++j)
                offset_sum[static_cast<std::size_t>(j)] += o[static_cast<std::size_t>(j)];
        }
    }
    ASSERT_GE(lines.size(), 3u);
    // The log's first character of a record is its carriage control.
    EXPECT_EQ(lines[1], std::string(79, '*'));
    EXPECT_EQ(lines[2], "         OUTPUT FROM ZREF");
    EXPECT_EQ(z2, 12);
    EXPECT_EQ(z4, 1);
    EXPECT_EQ(z5, 11);
    EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    // The offset of each group scatters by some 0.01 (the peak scatter over
    // sin theta); their mean lies within a few thousandths.
    for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(offset_sum[static_cast<std::size_t>(j)] / 11.0, cfg_.xtaloff[static_cast<std::size_t>(j)],
                    0.006);

    // Zref is not offered again on its own list; the refinements are.
    EXPECT_EQ(backend_->widget(wid(MENU_ZREF)).status, 0);
    EXPECT_EQ(backend_->widget(wid(MENU_CALC_UB)).status, 1);
    EXPECT_EQ(G.PREPFLAG, 1);
}

// The eight raw settings per reflection cancel the zero errors and the
// offset between them, but their 2theta is the centred reading; the rebuilt
// list takes 2theta from the fitted omega peaks, which are more precise.
TEST_F(ZrefCommand, UbFitOnTheRebuiltListIsAtLeastAsCloseToTheCell) {
    auto cell_error = [&]() {
        static AngTable ang;
        static IhTable ih;
        refinement_list_tables(ang, ih);
        int ierr = -1;
        LSQ(G.NUBREF, ang, ih, ierr);
        EXPECT_EQ(ierr, 0);
        double worst = 0.0;
        for (int j = 1; j <= 6; ++j) {
            const double truth = cfg_.cell[static_cast<std::size_t>(j - 1)];
            worst = std::max(worst, std::fabs(G.CELL(j) - truth) / (j <= 3 ? truth : 90.0));
        }
        return worst;
    };
    cfg_.ngroups = 20;
    cfg_.centring = 0.005;
    cfg_.zeros = {0.06, -0.04, 0.15};
    cfg_.xtaloff = {0.03, -0.04, 0.05};
    int better = 0;
    double raw_sum = 0.0, rebuilt_sum = 0.0;
    for (int trial = 1; trial <= 10; ++trial) {
        cfg_.seed = static_cast<std::uint64_t>(trial);
        load_groups(sim::make_zref_data(cfg_), 0.0005);
        const double raw = cell_error();
        SET_PREPROCESS(1, 0);
        RUN_ZREF();
        ASSERT_EQ(G.NUBREF, 20);
        const double rebuilt = cell_error();
        raw_sum += raw;
        rebuilt_sum += rebuilt;
        better += rebuilt <= raw ? 1 : 0;
        EXPECT_LT(rebuilt, 1e-4);
    }
    std::printf(
        "mean largest relative cell error: raw lists %.2e, rebuilt lists %.2e; rebuilt better in %d of 10\n",
        raw_sum / 10.0, rebuilt_sum / 10.0, better);
    EXPECT_LT(rebuilt_sum, raw_sum);
    EXPECT_GE(better, 8);
}

TEST_F(ZrefCommand, NoGroupLeavesTheListAndSaysSo) {
    // An empty list.
    G.NUBREF = 0;
    RUN_ZREF();
    // Groups that all break a pattern, and seven entries of one reflection.
    cfg_.ngroups = 3;
    const sim::ZrefData d = sim::make_zref_data(cfg_);
    load_groups(d, 0.0);
    for (int gi = 0; gi < 3; ++gi) G.CHIREF(gi * 8 + 7) += 20.0;  // chi pair (7, 8) apart
    G.NUBREF = 24 + 7;
    for (int n = 25; n <= 31; ++n) {
        G.IHREF(n, 1) = 9, G.IHREF(n, 2) = 9, G.IHREF(n, 3) = 9;
    }
    const double first_omega = G.OMREF(1);
    RUN_ZREF();
    EXPECT_EQ(G.NUBREF, 31);
    EXPECT_EQ(G.OMREF(1), first_omega);
    const std::vector<std::string> shown = test::shown_messages(*backend_);
    EXPECT_EQ(shown, (std::vector<std::string>{"No reflections processed by ZREF",
                                               "No reflections processed by ZREF"}));
    int z4 = 0;
    for (const auto& l : log_lines()) {
        EXPECT_EQ(l.find("nan"), std::string::npos);
        if (l == " SUBROUTINE CALC_OFFSETS RETURNED IERR = 3") ++z4;
    }
    EXPECT_EQ(z4, 3);
    EXPECT_EQ(backend_->widget(wid(MENU_ZREF)).status, 0);
    // The wait box is gone and the main window takes input again.
    EXPECT_FALSE(backend_->widget(wid(DLG_WAIT)).shown);
    EXPECT_EQ(backend_->active_window(), WS.MAINWIN);
}

}  // namespace
}  // namespace tarnivox
