// "Create Cif" and "Delta-d/d" in whole runs of the program through the
// script backend on simulated data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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
    EXPECT_EQ(value_of(cif, "_diffrn_standards_interval_count"), std::to_string(G.NSTDINT));
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

}  // namespace
}  // namespace tarnivox::fitrun
