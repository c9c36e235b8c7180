#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "io/clock.h"
#include "io/units.h"
#include "output/log_file.h"
#include "output/output_test_files.h"
#include "output/reports.h"

namespace tarnivox {
namespace {

using testing_output::lines_of;
using testing_output::OutputFiles;

class FitSummary : public OutputFiles {
protected:
    void SetUp() override {
        OutputFiles::SetUp();
        ASSERT_EQ(open_unit(LU_LOG, path("run.log"), OpenMode::Replace, true), 0);
        G.INFILE = "/data/crystals/sample_0042_long_name.dat";
        for (int k = 1; k <= 6; ++k) G.IREF(k) = 1;
        for (int k = 1; k <= 11; ++k) G.NFITC(k) = k;
    }
    std::vector<std::string> summary() {
        WRITE_FIT_SUMMARY(LU_LOG);
        close_unit(LU_LOG);
        return lines_of(path("run.log"));
    }
    // The treatment text printed for a parameter name.
    static std::string treatment(const std::vector<std::string>& lines, const std::string& name) {
        for (const auto& l : lines) {
            if (l.size() > 18 && l.substr(7, 10) == (name + std::string(10 - name.size(), ' '))) {
                std::string t = l.substr(18);
                while (!t.empty() && t.back() == ' ') t.pop_back();
                return t;
            }
        }
        return "<missing>";
    }
};

TEST_F(FitSummary, EveryParameterRefinedPrintsRefinedEvenWithStartValueOptions) {
    for (int k = 1; k <= 6; ++k) G.IFIX(k) = k == 4 ? 0 : 1;
    G.NFITC(12) = 4;
    G.NPASS2 = 9;
    const auto lines = summary();
    const std::vector<std::string> want = {
        "",
        "       PROFILE PARAMETER REFINEMENT SETTINGS:",
        "",
        "       BACKGROUND REFINED" + std::string(43, ' '),
        "       FWHM       REFINED" + std::string(43, ' '),
        "       INTENSITY  REFINED" + std::string(43, ' '),
        "       POSITION   REFINED" + std::string(43, ' '),
        "       ETA        REFINED" + std::string(43, ' '),
        "       IRATIO     REFINED" + std::string(43, ' '),
        "",
        "       REFLECTIONS AS CLASSIFIED BY INTEGRATION",
        "       FILE: /data/crystals/sampl",
        "",
        "       PASSED                             1",
        "       ERROR IN LEAST SQUARES             2",
        "       NO CONVERGENCE IN LEAST-SQUARES    3",
        "       DATA ERROR                         4",
        "       BACKGROUND OUT OF BOUNDS           5",
        "       INTENSITY REFINED < 0              6",
        "       POSITION OUT OF RANGE              7",
        "       WIDTH OUT OF RANGE                 8",
        "       ALPHA1/2 RATIO OUT OF RANGE        9",
        "       RWP EXCEEDS SET LIMIT             10",
        "       ETA PARAMETER OUT OF RANGE        11",
        "",
        "       WEAK REFLECTIONS INCLUDED IN THESE TOTALS",
        "",
        // Pass-2 recoveries appear only here, not under PASSED.
        "              9 REFLECTIONS REFITTED,     4 RECOVERED",
        "              5 TOTAL REFLECTIONS PASSED",
        "",
        std::string(60, '*'),
        "",
        "",
    };
    EXPECT_EQ(lines, want);
}

TEST_F(FitSummary, PositionTextDependsOnRefineAndStartValueSwitches) {
    struct Case {
        int iref, ifix;
        const char* text;
    } cases[] = {
        {1, 1, "REFINED, BUT FIXED FROM UB IF FAIL ON PASS 1"},
        {0, 1, "FIXED TO POSITION CALCULATED FROM UB"},
        {0, 0, "FIXED AT PEAK MAXIMUM"},
        {1, 0, "REFINED"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(open_unit(LU_LOG, path("run.log"), OpenMode::Replace, true), 0);
        G.IREF(4) = c.iref;
        G.IFIX(4) = c.ifix;
        EXPECT_EQ(treatment(summary(), "POSITION"), c.text);
    }
}

TEST_F(FitSummary, FixedParametersAreDescribedByTheirSource) {
    for (int k = 1; k <= 6; ++k) G.IREF(k) = 0;
    G.IFIX(1) = 1;
    G.IFIX(2) = 1;
    G.IBACK = 2;
    G.BGEXPA = 12.5;  // too wide for F4.2
    G.BGEXPB = 0.03;
    G.BGEXPC = 1.25;
    G.FWHMA = 0.125;
    G.FWHMB = 0.02;
    G.ETA0 = 0.45;
    G.A2RATIO = 0.5;
    auto lines = summary();
    EXPECT_EQ(treatment(lines, "BACKGROUND"), "FIXED AT ****EXP(-0.03*TTH) + 1.25");
    EXPECT_EQ(treatment(lines, "FWHM"), "FIXED AT 0.125+0.020TAN(THETA)");
    EXPECT_EQ(treatment(lines, "INTENSITY"), "FIXED");
    EXPECT_EQ(treatment(lines, "ETA"), "FIXED AT 0.45");
    EXPECT_EQ(treatment(lines, "IRATIO"), "FIXED AT 0.50");

    const std::pair<int, const char*> modes[] = {{0, "FIXED TO AVERAGE OF END STEPS"},
                                                 {1, "FIXED TO AVERAGE VALUE FOR 2THETA"},
                                                 {3, "FIXED TO AVERAGE OF   7 END STEPS"}};
    G.NBACK = 7;
    for (const auto& [mode, text] : modes) {
        ASSERT_EQ(open_unit(LU_LOG, path("run.log"), OpenMode::Replace, true), 0);
        G.IBACK = mode;
        EXPECT_EQ(treatment(summary(), "BACKGROUND"), text);
    }
    ASSERT_EQ(open_unit(LU_LOG, path("run.log"), OpenMode::Replace, true), 0);
    G.IFIX(1) = 0;
    G.IFIX(2) = 0;
    lines = summary();
    EXPECT_EQ(treatment(lines, "BACKGROUND"), "FIXED TO AVERAGE OF END STEPS");
    EXPECT_EQ(treatment(lines, "FWHM"), "FIXED AT VALUE DETERMINED FROM PROFILE");
}

TEST_F(FitSummary, CellUbAndOutputFileLinesOnlyWhenKnown) {
    auto lines = summary();
    auto has = [&lines](const std::string& start) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
    };
    EXPECT_FALSE(has("       CELL"));
    EXPECT_FALSE(has("       UB"));
    EXPECT_FALSE(has("          THESE REFLECTIONS WRITTEN TO:"));

    ASSERT_EQ(open_unit(LU_LOG, path("run.log"), OpenMode::Replace, true), 0);
    G.UBFLAG = 1;
    G.CELL = Arr1<double, 7>{{10.0, 11.0, 12.0, 90.0, 90.0, 90.0, 1320.0}};
    for (int i = 1; i <= 3; ++i) G.UB(i, i) = 0.1 / i;
    G.OUTOPEN = 1;
    G.OUTFILE = "/results/very_long_output_name.hkl";
    G.SKIPWEAK = 1;
    lines = summary();
    const auto cell = std::find(lines.begin(), lines.end(),
                                "       CELL     10.0000   11.0000   12.0000   90.0000   90.0000   90.0000 1320.0000");
    ASSERT_NE(cell, lines.end());
    EXPECT_EQ(*(cell - 1), "");
    EXPECT_EQ(*(cell + 1), "       UB      0.100000  0.000000  0.000000");
    EXPECT_EQ(*(cell + 3), "       UB      0.000000  0.000000  0.033333");
    EXPECT_TRUE(has("       WEAK REFLECTIONS EXCLUDED FROM THESE TOTALS"));
    EXPECT_TRUE(has("          THESE REFLECTIONS WRITTEN TO: /results/very_long_"));
}

TEST_F(OutputFiles, CreateLogWritesHeaderThenClassification) {
    set_clock_for_tests(std::time_t{1700000000});
    G.INFILE = "/data/x.dat";
    G.TITLE = "Sucrose at 150 K";
    G.NCLASS(7) = 3;
    G.NCLASS(6) = 1;
    ASSERT_EQ(CREATE_LOG(path("made.log")), 0);
    set_clock_for_tests(std::nullopt);
    ASSERT_EQ(G.LOGOPEN, 1);
    close_unit(LU_LOG);
    const auto lines = lines_of(path("made.log"));
    ASSERT_GE(lines.size(), 12u);
    EXPECT_EQ(lines[0], "     THIS FILE CREATED BY TARNIVOX ON  " + date_text(std::time_t{1700000000}));
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "     INPUT DATA FILE WAS: /data/x.dat" + std::string(39, ' '));
    EXPECT_EQ(lines[3], "     OUTPUT DATA FILE WAS: " + std::string(50, ' '));
    EXPECT_EQ(lines[4], " TITLE Sucrose at 150 K" + std::string(44, ' '));
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], "");
    // Then the classification of the input file (short form: unclassified
    // reflections present).
    EXPECT_NE(std::find_if(lines.begin() + 7, lines.end(),
                           [](const std::string& l) { return l.find("NORMAL REFLECTIONS:") != std::string::npos; }),
              lines.end());
}

TEST_F(OutputFiles, ALogThatCannotBeOpenedLeavesTheRunWithoutOne) {
    G.LOGOPEN = 1;
    EXPECT_EQ(CREATE_LOG(dir_.string()), 1);  // a folder
    EXPECT_EQ(G.LOGOPEN, 0);
    EXPECT_FALSE(unit_is_open(LU_LOG));
}

}  // namespace
}  // namespace tarnivox
