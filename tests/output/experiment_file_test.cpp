#include "output/experiment_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "io/clock.h"
#include "io/units.h"
#include "output/output_test_files.h"
#include "ui/files.h"

namespace tarnivox {
namespace {

using testing_output::lines_of;
using testing_output::OutputFiles;

class ExperimentFile : public OutputFiles {
protected:
    void SetUp() override {
        OutputFiles::SetUp();
        G.INFILE = "/data/sample_0042.dat";
        G.OUTFILE = "/results/sample_0042.hkl";
        G.TITLE = "Sucrose";
        G.NCLASS(1) = 4;
        G.NCLASS(3) = 10;
        G.NWAVE = 2;
        G.WAVE1 = 1.54056;
        G.WAVE2 = 1.54439;
        G.A2RATIO = 0.5;
        G.IMONO = 1;
        G.MONO2TH = 26.6;
        G.MONOANG = 90.0;
        G.MONODIR = 2;
    }
    std::vector<std::string> create() {
        set_clock_for_tests(std::time_t{1700000000});
        EXPECT_EQ(CREATE_EXP(path("run.exp")), 0);
        set_clock_for_tests(std::nullopt);
        return lines_of(path("run.exp"));
    }
    static long index_of(const std::vector<std::string>& lines, const std::string& text) {
        const auto it = std::find(lines.begin(), lines.end(), text);
        return it == lines.end() ? -1 : static_cast<long>(it - lines.begin());
    }
};

TEST_F(ExperimentFile, HeaderCutsPathsToTwelveCharacters) {
    const auto lines = create();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_NE(lines[0].find("THIS FILE CREATED BY TARNIVOX ON  " + date_text(std::time_t{1700000000})),
              std::string::npos);
    EXPECT_EQ(lines[1], "");
    EXPECT_NE(lines[2].find("INPUT DATA FILE WAS: /data/sample      OUTPUT DATA FILE WAS: /results/sam"),
              std::string::npos);
    EXPECT_NE(lines[3].find("TITLE Sucrose"), std::string::npos);
    EXPECT_FALSE(unit_is_open(LU_EXP));  // closed when written
}

TEST_F(ExperimentFile, InstrumentBlockFollowsTheSummaryWithoutOrientationMatrix) {
    const auto lines = create();
    const long stars = index_of(lines, " " + std::string(60, '*'));
    const long stars_plain = index_of(lines, std::string(60, '*'));
    const long end_of_summary = std::max(stars, stars_plain);
    ASSERT_GE(end_of_summary, 0);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("CELL", 0) == 0; }),
              0);
    const long wavel = index_of(lines, "WAVEL     2  1.540560  1.544390  0.500000");
    ASSERT_GT(wavel, end_of_summary);
    EXPECT_EQ(lines[static_cast<std::size_t>(wavel + 1)], "MONO      1   26.6000   90.0000    2");
    EXPECT_EQ(lines[static_cast<std::size_t>(wavel + 2)], "PARITY 1,1,1,1");
    EXPECT_EQ(lines[static_cast<std::size_t>(wavel + 3)], "BLAXES 1,2,3");
    EXPECT_NE(lines[static_cast<std::size_t>(wavel - 3)].find("Diffractometer parameters: "), std::string::npos);
    EXPECT_NE(lines[static_cast<std::size_t>(wavel - 2)].find(
                  "Note: Data file has angles in Busing-Levy, UB is on Busing Levy Axes"),
              std::string::npos);
}

TEST_F(ExperimentFile, CellAndUbWrittenWhenKnown) {
    G.UBFLAG = 1;
    G.CELL = Arr1<double, 7>{{10.0, 11.0, 12.0, 90.0, 90.0, 90.0, 1320.0}};
    for (int i = 1; i <= 3; ++i) G.UB(i, i) = 0.1;
    const auto lines = create();
    const long cell = index_of(lines, "CELL     10.0000   11.0000   12.0000   90.0000   90.0000   90.0000 1320.0000");
    ASSERT_GE(cell, 0);
    EXPECT_EQ(lines[static_cast<std::size_t>(cell + 1)], "UB      0.100000  0.000000  0.000000");
    EXPECT_EQ(lines[static_cast<std::size_t>(cell + 3)], "UB      0.000000  0.000000  0.100000");
    EXPECT_GT(index_of(lines, "PARITY 1,1,1,1"), cell);
}

TEST_F(ExperimentFile, CancelledOrUnopenableChoiceWritesNoReport) {
    testing_output::install_script("cancel\n");
    CREATE_EXP();  // the window's command: its dialog is cancelled
    EXPECT_FALSE(unit_is_open(LU_EXP));
    EXPECT_EQ(CREATE_EXP(path("no such folder/run.exp")), 1);
    EXPECT_FALSE(unit_is_open(LU_EXP));
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

}  // namespace
}  // namespace tarnivox
