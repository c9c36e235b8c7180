// The command loop, driven by a script: opening the input, parameter and
// output files, the defaults file written at every end of the run and read
// back at the next start, and the fatal ends of bad input files.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/exitint.h"
#include "core/store.h"
#include "import/stddata.h"
#include "io/units.h"
#include "params/defaults.h"
#include "support/scan_file.h"
#include "support/scratch.h"
#include "tarnivox_main.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

using test::kInstrumentParameters;

// The start of a run up to the command loop: the input file, its format
// (Standard, preselected from ".rfl"), the parameter file.
const std::string kStart =
    "file data.rfl\n"
    "press \"Input Data file Format\" OK\n"
    "browse inst.par\n";

class OpenFilesRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::fresh_run_in_scratch_dir("tarnivox_e2e_files");
        std::ofstream(dir_ / "inst.par") << kInstrumentParameters;
        write_data_set(3);
    }
    void TearDown() override { test::end_run_in_scratch_dir(dir_); }

    // A standard scan file of n reflections of 25 steps.
    void write_data_set(int n) {
        reset_store();
        ASSERT_EQ(open_unit(LU_SCAN, (dir_ / "data.rfl").string(), OpenMode::Replace), 0);
        G.TITLE = "e2e crystal";
        for (int i = 1; i <= 3; ++i) G.UB(i, i) = 0.1;  // a 10 A cubic cell
        WRITE_HEADER_STDDATA(LU_SCAN);
        for (int r = 1; r <= n; ++r) {
            std::vector<long long> counts(25, 10);
            counts[12] = 1000 * r;
            Arr1<int, 3> hkl{{r, 0, 0}};
            Arr1<double, 4> angles{{10.0 * r, 0.0, 0.0, 0.0}};
            ASSERT_EQ(test::write_scan_record(LU_SCAN, r, hkl, angles, counts), 0);
        }
        close_unit(LU_SCAN);
        reset_store();
    }

    // Runs the program on a script until its end; the message it ended with.
    std::string run(const std::string& script) {
        test::install_quiet_script(script, dir_.string());
        std::string message = "(no end)";
        try {
            TARNIVOX_MAIN();
        } catch (const ProgramEnd& end) {
            message = end.message;
            EXPECT_EQ(finish_run(end), 0);
        }
        return message;
    }
    std::vector<ScriptEvent> errors() const { return test::script_events(ScriptEvent::Error); }
    std::vector<std::string> defaults_lines() const {
        return test::read_lines(test::defaults_file_in(dir_));
    }
    void expect_defaults_written() {
        const auto l = defaults_lines();
        ASSERT_EQ(l.size(), 4u);
        EXPECT_EQ(l[0], "      This is the configuration file for Tarnivox");
        EXPECT_EQ(l[1].substr(0, 18), "      Created on: ");
    }
    fs::path dir_;
};

TEST_F(OpenFilesRun, FilesOpenedInTheLoopAreRememberedForTheNextStart) {
    const std::string end = run(kStart +
                                "command 314\n"
                                "file result.hkl 2\n"
                                "command 316\n"
                                "answer yes\n");
    EXPECT_EQ(end, "");
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(G.INFMT, 1);
    EXPECT_EQ(G.INTFMT, 3);
    EXPECT_EQ(G.NREF, 1);  // the first reflection was read after the import
    EXPECT_DOUBLE_EQ(G.ATTEN, 12.5);
    EXPECT_TRUE(fs::exists(dir_ / "result.hkl"));
    const std::string log_path = (dir_ / "data_Tarnivox.log").string();
    ASSERT_TRUE(fs::exists(log_path));
    const std::string text = test::read_text(log_path);
    EXPECT_NE(text.find("INPUT DATA FILE WAS: data.rfl"), std::string::npos);
    EXPECT_NE(text.find("INSTRUMENT PARAMETER FILE OPENED: inst.par"), std::string::npos);
    EXPECT_NE(text.find("****************END OF PARAMETER FILE***************"), std::string::npos);
    EXPECT_NE(text.find("INTEGRATED DATA FILE OPENED: result.hkl"), std::string::npos);

    expect_defaults_written();
    const auto l = defaults_lines();
    EXPECT_EQ(l[2], "IN_DIR: " + dir_.string() + "/");
    EXPECT_EQ(l[3], "FORMATS:     1    3");

    // Next start: the input dialog is cancelled, the remembered folder and
    // formats are back.
    reset_store();
    EXPECT_EQ(run("cancel\n"), "END OF PROGRAM");
    EXPECT_EQ(G.WORKDIR.str(), dir_.string() + "/");
    EXPECT_EQ(G.INFMT, 1);
    EXPECT_EQ(G.INTFMT, 3);
    expect_defaults_written();
}

TEST_F(OpenFilesRun, BadParameterFilesEndTheRunAndStillSaveTheDefaults) {
    std::string binary;
    for (int i = 0; i < 2000; ++i) binary.push_back(static_cast<char>((i * 37 + 11) % 256));
    std::string long_line = "ATTEN  12.5" + std::string(69, ' ') + "7x";  // column 81 cut off
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"ATTEN  twelve\n" + kInstrumentParameters, "ERROR READING PARAMETER FILE"},
        {kInstrumentParameters.substr(0, kInstrumentParameters.find("MONO")),
         "MISSING DATA FROM PARAMETER FILE"},
        {"", "MISSING DATA FROM PARAMETER FILE"},
        {binary, "MISSING DATA FROM PARAMETER FILE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        fs::remove(test::defaults_file_in(dir_));
        std::ofstream(dir_ / "inst.par", std::ios::binary) << c.text;
        reset_store();
        EXPECT_EQ(run(kStart), c.message);
        const auto e = errors();
        ASSERT_FALSE(e.empty());
        EXPECT_EQ(e.back().text, c.message);
        expect_defaults_written();
    }
    // A line of 81 characters is read as its first 80: accepted here.
    std::ofstream(dir_ / "inst.par") << kInstrumentParameters << long_line << "\n";
    reset_store();
    EXPECT_EQ(run(kStart + "command 316\nanswer yes\n"), "");
    EXPECT_DOUBLE_EQ(G.ATTEN, 12.5);
}

TEST_F(OpenFilesRun, BadStandardScanFilesEndTheRunWithoutReadingPastTheScanArrays) {
    const std::string header = "H\nT bad data\nH\nH\nH\nA 1.0\n";
    const std::string ref =
        "R     1   1   0   0    0.0000   10.0000    0.0000    0.0000    0.0000   3   0.02000   1.00000   "
        "0N\n";
    auto npts = [&](const std::string& n) { return std::string(ref).replace(70, 3, n); };
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {header + ref + "S 1 2 3\n", "READ ERROR ON HEADER OF SCAN FILE"},  // no DATA line
        {header + "DATA\n" + npts("900") + std::string(90, 'S') + "\n", "READ ERROR ON SCAN FILE"},
        {header + "DATA\n" + npts("  0"), "READ ERROR ON SCAN FILE"},
        {header + "DATA\n" + ref, "READ ERROR ON SCAN FILE"},  // count line missing
        {header + "DATA\n" + ref + "S       1     1.5       3\n", "READ ERROR ON SCAN FILE"},
        {"H\nT " + std::string(200, 'x') + "\nDATA\n" + ref + "S       1       2\n" + ref,
         "READ ERROR ON SCAN FILE"},
    };
    for (const auto& c : cases) {
        std::ofstream(dir_ / "data.rfl") << c.text;
        reset_store();
        EXPECT_EQ(run(kStart), c.message) << c.text;
        expect_defaults_written();
        EXPECT_LE(G.NPTS, MAXSTEPS);
    }
}

}  // namespace
}  // namespace tarnivox
