// "Create Cif" and "Delta-d/d" in whole runs of the program through the
// script backend on simulated data: after opening a file that carries UB,
// and after Preprocess and Calc UB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "fit_run_fixture.h"
#include "support/scratch.h"

namespace tarnivox::fitrun {
namespace {

class CifRun : public FitRun {};

std::string value_of(const std::vector<std::string>& lines, const std::string& name) {
    for (const std::string& l : lines)
        if (l.rfind(name + " ", 0) == 0) {
            const std::size_t a = l.find_first_not_of(' ', name.size());
            const std::size_t e = l.find_last_not_of(' ');
            return a == std::string::npos ? std::string() : l.substr(a, e - a + 1);
        }
    return "(absent)";
}

// A Standard data file carries the cell and UB in its header: after
// opening it, the CIF holds them (as exact values: no refinement has given
// esds), the standards and the reflection count of the import; Delta-d/d
// on the empty refinement list logs its summary of nothing and draws an
// empty plot.
TEST_F(CifRun, OpenThenCreateCifAndDeltaD) {
    sim::Config c;
    c.format = sim::Format::Standard;
    c.nrefl = 30;
    c.seed = 11;
    const sim::Result truth = simulate(c);
    const std::string message =
        run(opening("Standard", 0.0, 0) + "command 318\ncommand 336\nsvg deltad.svg\n");
    EXPECT_EQ(message, "");
    const auto shown = messages();
    EXPECT_NE(std::find(shown.begin(), shown.end(), "Cif created successfully"), shown.end());

    const auto cif = lines_of(dir_ / "data_tarnivox.cif");
    ASSERT_FALSE(cif.empty());
    EXPECT_EQ(value_of(cif, "_diffrn_standards_number"), std::to_string(G.NSTD));
    EXPECT_EQ(value_of(cif, "_diffrn_standards_interval_count"), G.NSTDINT > 0 ? std::to_string(G.NSTDINT) : "?");
    int count = 0;
    for (int i = 0; i < 5; ++i) count += truth.nclass[static_cast<std::size_t>(i)];
    if (count == 0) count = truth.nclass[6];
    EXPECT_EQ(value_of(cif, "_diffrn_reflns_number"), std::to_string(count));
    const char* names[6] = {"_cell_length_a",    "_cell_length_b",   "_cell_length_c",
                            "_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma"};
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(std::stod(value_of(cif, names[i])), c.cell[static_cast<std::size_t>(i)], 2e-4)
            << names[i];
    const sim::Plan plan = sim::make_plan(c);
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) {
            const std::string name = "_diffrn_orient_matrix_UB_" + std::to_string(i) + std::to_string(j);
            EXPECT_NEAR(std::stod(value_of(cif, name)), plan.ub[i - 1][j - 1], 2e-6) << name;
        }
    EXPECT_EQ(value_of(cif, "_cell_measurement_reflns_used"), "0");

    const std::string log = test::read_text(dir_ / "data_Tarnivox.log");
    EXPECT_NE(log.find("RESULTS OF DELTA-D/D CALCULATION"), std::string::npos);
    EXPECT_NE(log.find("\n  MINIMUM VALUE OF DELTA-D/D = 1000.000000"), std::string::npos);
    EXPECT_NE(log.find("\n  AVERAGE VALUE OF DELTA-D/D =   0.000000"), std::string::npos);
    const std::string svg = test::read_text(dir_ / "deltad.svg");
    EXPECT_NE(svg.find("DELTA-D/D PLOT"), std::string::npos);
    EXPECT_EQ(svg.find("<rect x"), std::string::npos) << "no points on an empty list";
    EXPECT_EQ(svg.find("nan"), std::string::npos);
}

// The input file in a folder with a '.' in its name: the fragment goes
// beside it, named after the file, and is written.
TEST_F(CifRun, InputInAFolderWithAPointInItsName) {
    sim::Config c;
    c.format = sim::Format::Standard;
    c.nrefl = 12;
    simulate(c);
    const fs::path folder = dir_ / "run.2";
    fs::create_directories(folder);
    fs::copy_file(dir_ / "data.rfl", folder / "data.rfl");
    fs::copy_file(dir_ / "data.par", folder / "data.par");
    data_name_ = "run.2/data.rfl";
    run(opening("Standard", 0.0, 0) + "command 318\ncommand 318\n");
    EXPECT_TRUE(fs::exists(folder / "data_tarnivox.cif"));
    EXPECT_FALSE(fs::exists(dir_ / "run_tarnivox.cif"));
    const auto shown = messages();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "Cif created successfully"), 2);
}

// The whole program on simulated CAD4 data: open, Preprocess, Calc UB, then
// the fragment and the delta-d/d list from the refined cell.
constexpr char kPreprocessAndUb[] =
    "command 331\npress \"Preprocessing Control\" Go\n"
    "command 332\npress \"Unit Cell Refinement\" Refine\npress \"Cell Refinement Results\" Ok\n";

sim::Config refined_data_set(double tth_zero) {
    sim::Config c;
    c.format = sim::Format::Cad4;
    c.seed = 71;
    c.nrefl = 400;
    c.scale_i = 20000.0;
    c.cell = {8.4, 10.2, 13.9, 90.0, 101.0, 90.0};
    c.tth_zero = tth_zero;
    return c;
}

// The log's last CELL and ESDs records (fields at the columns the log
// writes them).
void logged_cell(const std::vector<std::string>& log, double cell[7], double esd[7]) {
    static const std::size_t at[7] = {16, 25, 34, 43, 51, 59, 67};
    static const std::size_t width[7] = {9, 9, 9, 8, 8, 8, 10};
    for (const std::string& l : log) {
        double* out = l.rfind("CELL    ", 0) == 0 ? cell : l.rfind("ESDs    ", 0) == 0 ? esd : nullptr;
        if (out)
            for (int k = 0; k < 7; ++k) out[k] = num(l, at[k], width[k]);
    }
}

// Value and esd of a value(esd) text, in the value's units.
void value_esd(const std::string& text, double& v, double& e) {
    const std::size_t open = text.find('(');
    const std::string s = text.substr(0, open);
    v = std::stod(s);
    const std::size_t point = s.find('.');
    const int decimals = point == std::string::npos ? 0 : static_cast<int>(s.size() - point - 1);
    e = open == std::string::npos ? 0.0 : std::stod(text.substr(open + 1)) * std::pow(10.0, -decimals);
}

TEST_F(CifRun, RefinedCellInTheCifIsTheLoggedOne) {
    simulate(refined_data_set(0.0));
    ASSERT_EQ(run(opening("Enraf CAD4", 0.0, 0) + kPreprocessAndUb + "command 318\n"), "");
    double cell[7] = {}, esd[7] = {};
    logged_cell(lines_of(dir_ / "data_Tarnivox.log"), cell, esd);
    const auto cif = lines_of(dir_ / "data_tarnivox.cif");
    const char* names[7] = {"_cell_length_a",   "_cell_length_b",    "_cell_length_c", "_cell_angle_alpha",
                            "_cell_angle_beta", "_cell_angle_gamma", "_cell_volume"};
    for (int k = 0; k < 7; ++k) {
        double v = 0.0, e = 0.0;
        value_esd(value_of(cif, names[k]), v, e);
        if (esd[k] > 0.0) {
            // The CIF rounds the esd up to one or two digits and the value
            // to the esd's last digit; the log rounds it to its own last
            // digit (F9.5, F8.3, F10.4).
            const double half_unit[7] = {5e-6, 5e-6, 5e-6, 5e-4, 5e-4, 5e-4, 5e-5};
            EXPECT_GE(e, esd[k] * (1.0 - 1e-3) - half_unit[k]) << names[k];
            EXPECT_LE(e, esd[k] * 2.0 + 1e-9) << names[k];
            EXPECT_NEAR(v, cell[k], e) << names[k];
        } else {
            EXPECT_NEAR(v, cell[k], 1e-4) << names[k];
        }
    }
    EXPECT_EQ(value_of(cif, "_cell_measurement_reflns_used"), std::to_string(G.NUBREF));
    EXPECT_GT(G.NUBREF, 100);
    std::printf("CIF after Calc UB: a %s, beta %s, V %s from %d reflections\n",
                value_of(cif, names[0]).c_str(), value_of(cif, names[4]).c_str(),
                value_of(cif, names[6]).c_str(), G.NUBREF);
}

// Delta-d/d after the UB fit: a 2theta zero error leaves the trend
// -cot(theta) dtheta that no cell can take up (the cell takes up the mean);
// without one, the values scatter around 0.
TEST_F(CifRun, DeltaDShowsTheZeroErrorAfterTheUbFit) {
    for (const double zero : {0.0, 0.06}) {
        SCOPED_TRACE(zero);
        simulate(refined_data_set(zero));
        ASSERT_EQ(run(opening("Enraf CAD4", 0.0, 0) + kPreprocessAndUb + "command 336\n"), "");
        std::vector<double> cot, r;
        bool in_list = false;
        for (const std::string& l : lines_of(dir_ / "data_Tarnivox.log")) {
            if (l.find("2TH(OBS) 2TH(cal) DELTAD/D") != std::string::npos) {
                in_list = true;
                cot.clear();
                r.clear();
                continue;
            }
            if (l.find("MINIMUM VALUE OF DELTA-D/D") != std::string::npos) in_list = false;
            if (!in_list || l.size() < 39) continue;
            cot.push_back(1.0 / std::tan(std::fabs(num(l, 11, 9)) / 2.0 / 57.29578));
            r.push_back(num(l, 29, 10));
        }
        ASSERT_GT(r.size(), 100u);
        double mc = 0, mr = 0;
        for (std::size_t i = 0; i < r.size(); ++i) {
            mc += cot[i];
            mr += r[i];
        }
        mc /= static_cast<double>(r.size());
        mr /= static_cast<double>(r.size());
        double sxy = 0, sxx = 0, ss = 0;
        for (std::size_t i = 0; i < r.size(); ++i) {
            sxy += (cot[i] - mc) * (r[i] - mr);
            sxx += (cot[i] - mc) * (cot[i] - mc);
        }
        const double slope = sxy / sxx;
        for (std::size_t i = 0; i < r.size(); ++i) {
            const double res = r[i] - mr - slope * (cot[i] - mc);
            ss += res * res;
        }
        const double slope_esd = std::sqrt(ss / static_cast<double>(r.size() - 2) / sxx);
        const double expected = -(zero / 2.0 / 57.29578);
        std::printf(
            "delta-d/d after Calc UB, 2theta zero %.2f: slope on cot(theta) %.3e +- %.1e (expected %.3e), "
            "%zu reflections\n",
            zero, slope, slope_esd, expected, r.size());
        EXPECT_NEAR(slope, expected, 4.0 * slope_esd + 0.1 * std::fabs(expected))
            << slope << " +- " << slope_esd;
    }
}

}  // namespace
}  // namespace tarnivox::fitrun
