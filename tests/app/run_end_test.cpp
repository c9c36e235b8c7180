// How a run ends, as a calling program sees it: the exit status of a
// headless run, a run whose script has no answer for the program, and the
// defaults file a headless run leaves alone.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "core/exitint.h"
#include "core/store.h"
#include "operations/scan_walk.h"
#include "params/defaults.h"
#include "support/scratch.h"
#include "tarnivox_main.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

// The small CAD4 and standard example data sets, copied into a scratch
// folder where they may be damaged.
class RunEnd : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::fresh_run_in_scratch_dir("tarnivox_runend");
        for (const char* set : {"cad4", "standard"})
            fs::copy(fs::path(TARNIVOX_SOURCE_DIR) / "examples" / set, dir_ / set, fs::copy_options::recursive);
    }
    void TearDown() override { test::end_run_in_scratch_dir(dir_); }

    static std::string open_cad4(const std::string& par = "cad4/cad4.par") {
        return open_as_cad4("cad4/cad4.dat", par);
    }
    static std::string open_as_cad4(const std::string& data, const std::string& par) {
        return "file " + data + " 7\n"
               "press \"Input Data file Format\" \"Enraf CAD4\"\n"
               "press \"Input Data file Format\" OK\n"
               "browse " + par + "\n";
    }
    // A standard data file with an unreadable reflection line, opened as such.
    std::string open_bad_standard_file() const {
        std::string rfl = test::read_text(dir_ / "standard" / "standard.rfl");
        rfl.replace(rfl.find("S     341"), 9, "S     3x1");
        write(dir_ / "standard" / "bad.rfl", rfl);
        return "file standard/bad.rfl 1\n"
               "press \"Input Data file Format\" Standard\n"
               "press \"Input Data file Format\" OK\n"
               "browse standard/standard.par\n";
    }
    // The Huber example read as CAD4 data: the import fails and no data set is open.
    std::string failed_import() const {
        fs::copy(fs::path(TARNIVOX_SOURCE_DIR) / "examples" / "huber", dir_ / "huber",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        return open_as_cad4("huber/huber.dat", "huber/huber.par");
    }

    // A headless run of `script`; the status it ends with.
    int run_headless(const std::string& script, bool headless = true) {
        backend_ = &test::install_quiet_script(script, dir_.string());
        reset_store();
        RunOptions options;
        options.headless = headless;
        options.defaults_file = backend_->wants_defaults_file();
        return run_program(options);
    }

    std::string last_message() const {
        const auto shown = test::shown_messages(*backend_);
        return shown.empty() ? std::string() : shown.back();
    }

    void write(const fs::path& p, const std::string& text) const { std::ofstream(p, std::ios::binary) << text; }

    fs::path dir_;
    ScriptBackend* backend_ = nullptr;
};

TEST_F(RunEnd, HeadlessRunExitsWithTheStatusOfItsEnd) {
    // A normal end: the window's close control, confirmed.
    EXPECT_EQ(run_headless(open_cad4() + "close\nanswer yes\n"), EXIT_STATUS_NORMAL);
    EXPECT_EQ(last_message(), "Are you sure you want to exit the program?");
    // So is a script that is simply used up: it closes the window.
    EXPECT_EQ(run_headless(open_cad4()), EXIT_STATUS_NORMAL);

    // Each class of fatal message: no input file chosen, a parameter file
    // without a mandatory keyword, an unreadable scan record.
    EXPECT_EQ(run_headless("cancel\n"), EXIT_STATUS_FATAL);
    EXPECT_EQ(last_message(), "END OF PROGRAM");
    std::string par = test::read_text(dir_ / "cad4" / "cad4.par");
    par.erase(par.find("MONO"));
    write(dir_ / "cad4" / "nomono.par", par);
    EXPECT_EQ(run_headless(open_cad4("cad4/nomono.par")), EXIT_STATUS_FATAL);
    EXPECT_EQ(last_message(), "MISSING DATA FROM PARAMETER FILE");
    const std::string open_bad = open_bad_standard_file();
    EXPECT_EQ(run_headless(open_bad), EXIT_STATUS_FATAL);
    EXPECT_EQ(last_message(), "READ ERROR ON SCAN FILE");

    // A script the program cannot follow.
    EXPECT_EQ(run_headless(open_cad4() + "press main Nowhere\n"), EXIT_STATUS_SCRIPT);
    EXPECT_EQ(last_message(), "SCRIPT LINE 5: unknown label \"Nowhere\" in \"main\"");

}

// In the window a data file its reader cannot read ends only the import:
// the message names the file and the format tried, no part of the data set
// stays open for the commands, and another file can be opened at once.
TEST_F(RunEnd, WindowReturnsFromAFileItsReaderCannotRead) {
    const std::string open_bad = open_bad_standard_file();
    // The wrong format: a Huber file read as CAD4.
    const std::string open_huber_as_cad4 = failed_import();
    const std::string after = "press File \"Open data file\"\n" + open_cad4() + "press File Exit\nanswer yes\n";
    for (const auto& [script, message, file, format] :
         {std::tuple{open_bad, "READ ERROR ON SCAN FILE", "bad.rfl", "Standard"},
          std::tuple{open_huber_as_cad4, "", "huber.dat", "Enraf CAD4"}}) {
        EXPECT_EQ(run_headless(script + after, false), EXIT_STATUS_NORMAL);
        const auto shown = test::shown_messages(*backend_);
        const std::string expected_tail = std::string(file) + " could not be read as " + format + " data.";
        const auto box = std::find_if(shown.begin(), shown.end(), [&](const std::string& m) {
            return m.find(expected_tail) != std::string::npos;
        });
        ASSERT_NE(box, shown.end()) << file;
        EXPECT_EQ(box->rfind(message, 0), 0u) << *box;
        // The run went on to open the CAD4 set and ended on the user's Exit.
        EXPECT_EQ(last_message(), "Are you sure you want to exit the program?");
        EXPECT_EQ(std::string(G.INFILE.str()), "cad4.dat");
        EXPECT_EQ(G.NREF, 1);
    }
    // Headless, the same file still ends the run with the fatal status.
    EXPECT_EQ(run_headless(open_huber_as_cad4), EXIT_STATUS_FATAL);
}

// After an import that failed no data set is open: "Manual profile fit"
// and "Auto profile fit" say so and what to do, and the user goes on from
// the main window.
TEST_F(RunEnd, FittingWithoutADataSetReturnsToTheMainWindow) {
    const std::string script =
        failed_import() +
        "press Integrate \"Manual profile fit\"\n"
        "press Integrate \"Auto profile fit\"\n"
        "press File \"Open data file\"\n" +
        open_cad4() + "press File Exit\nanswer yes\n";
    EXPECT_EQ(run_headless(script, false), EXIT_STATUS_NORMAL);
    const auto shown = test::shown_messages(*backend_);
    ASSERT_GE(shown.size(), 2u);
    const auto box = std::find(shown.begin(), shown.end(), std::string(NO_DATA_SET_TEXT));
    ASSERT_NE(box, shown.end());
    // Right after the import's failure, once for each command.
    EXPECT_NE(box == shown.begin() ? std::string::npos : (box - 1)->find("could not be read as"), std::string::npos);
    ASSERT_NE(box + 1, shown.end());
    EXPECT_EQ(*(box + 1), NO_DATA_SET_TEXT);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), std::string(NO_DATA_SET_TEXT)), 2);
    EXPECT_EQ(last_message(), "Are you sure you want to exit the program?");
    EXPECT_EQ(std::string(G.INFILE.str()), "cad4.dat");
}

// The utilities after an import that failed: those that walk the data set
// say what to do, those that need a preprocessed list are not selectable,
// and the user goes on from the main window.
TEST_F(RunEnd, UtilitiesWithoutADataSetReturnToTheMainWindow) {
    const std::string failed = failed_import();
    for (const char* item : {"Preprocess", "Calc Background"}) {
        EXPECT_EQ(run_headless(failed + "press Utilities \"" + item + "\"\nclose\nanswer yes\n", false),
                  EXIT_STATUS_NORMAL)
            << item;
        const auto shown = test::shown_messages(*backend_);
        ASSERT_GE(shown.size(), 2u) << item;
        EXPECT_EQ(shown[shown.size() - 2], NO_DATA_SET_TEXT) << item;
        EXPECT_EQ(last_message(), "Are you sure you want to exit the program?") << item;
    }
    for (const char* item : {"Zref", "Calc UB", "Calc FWHM", "Delta-d/d"}) {
        run_headless(failed + "press Utilities \"" + item + "\"\n", false);
        EXPECT_NE(last_message().find("is not selectable"), std::string::npos) << item;
    }
}

// A question the script does not answer ends the run at once, saying
// which, instead of asking it for ever.
TEST_F(RunEnd, UnansweredQuestionEndsTheRunWithinASecond) {
    const auto timed = [this](const std::string& script, double& seconds) {
        const auto t0 = std::chrono::steady_clock::now();
        const int status = run_headless(script);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        return status;
    };
    double seconds = 0;
    // No output file is open and the script is used up.
    EXPECT_EQ(timed(open_cad4() + "press Integrate \"Auto profile fit\"\n", seconds), EXIT_STATUS_SCRIPT);
    EXPECT_LT(seconds, 1.0);
    // The box shows the first 60 characters; standard error has it whole.
    EXPECT_EQ(last_message().rfind("SCRIPT ENDED WITH NO ANSWER TO \"No output datafile", 0), 0u) << last_message();
    EXPECT_LT(backend_->events().size(), 80u);

    // The output folder cannot be written (a file stands where the folder
    // should be, which stops root too); the script goes on with the run.
    write(dir_ / "notafolder", "");
    const std::string script = open_cad4() +
                               "press File \"Open output file\"\n"
                               "file notafolder/out.hkl 2\n"
                               "press Integrate \"Auto profile fit\"\n"
                               "press \"Peak parameter default values\" \"Save + Exit\"\n"
                               "press main Start\n";
    EXPECT_EQ(timed(script, seconds), EXIT_STATUS_SCRIPT);
    EXPECT_LT(seconds, 1.0);
    const auto shown = test::shown_messages(*backend_);
    EXPECT_NE(std::find(shown.begin(), shown.end(), "Error opening file: Try again"), shown.end());
    EXPECT_EQ(last_message().rfind("SCRIPT LINE 8: NO ANSWER TO \"No output datafile", 0), 0u) << last_message();
    EXPECT_FALSE(fs::exists(dir_ / "notafolder" / "out.hkl"));
}

// A script used up while a modal box waits ends the run at once, naming
// the box: the close command must neither answer the box as its Quit
// (the run would go on and end as a success) nor leave an OK-only box
// waiting.
TEST_F(RunEnd, ScriptUsedUpInAModalBoxEndsTheRunNamingTheBox) {
    const std::string preprocessed =
        "file standard/standard.rfl 1\n"
        "press \"Input Data file Format\" Standard\n"
        "press \"Input Data file Format\" OK\n"
        "browse standard/standard.par\n"
        "press Utilities Preprocess\n"
        "press \"Preprocessing Control\" Go\n"
        "press Utilities \"Calc UB\"\n";
    const auto timed = [this](const std::string& script, double& seconds) {
        const auto t0 = std::chrono::steady_clock::now();
        const int status = run_headless(script);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        return status;
    };
    double seconds = 0;
    // The box has a Quit control.
    EXPECT_EQ(timed(preprocessed, seconds), EXIT_STATUS_SCRIPT);
    EXPECT_LT(seconds, 1.0);
    EXPECT_EQ(last_message(), "SCRIPT ENDED IN THE BOX \"Unit Cell Refinement\"");
    // The refinement runs; its results box has only OK.
    EXPECT_EQ(timed(preprocessed + "press \"Unit Cell Refinement\" Refine\n", seconds), EXIT_STATUS_SCRIPT);
    EXPECT_LT(seconds, 1.0);
    EXPECT_EQ(last_message(), "SCRIPT ENDED IN THE BOX \"Cell Refinement Results\"");
    // Answered, the run goes on to the script's end as before.
    EXPECT_EQ(run_headless(preprocessed + "press \"Unit Cell Refinement\" Refine\n"
                                          "press \"Cell Refinement Results\" Ok\n"),
              EXIT_STATUS_NORMAL);
    EXPECT_EQ(last_message(), "Are you sure you want to exit the program?");
}

TEST_F(RunEnd, HeadlessRunLeavesTheDefaultsFileAloneUnlessAsked) {
    const fs::path defaults = test::defaults_file_in(dir_);
    // Without a defaults file, a headless run makes none.
    EXPECT_EQ(run_headless("cancel\n"), EXIT_STATUS_FATAL);
    EXPECT_FALSE(fs::exists(defaults));
    EXPECT_EQ(G.INTFMT, 1);

    // The window's memory: CAD4 input, SHELX output, a working folder.
    const std::string kept = "This is the configuration file for Tarnivox\n"
                             "Created on: Mon Dec  7 09:00:00 2026\n"
                             "IN_DIR: /home/user/crystals/\n"
                             "FORMATS:     7    3\n";
    write(defaults, kept);
    EXPECT_EQ(run_headless(open_cad4() + "close\n"), EXIT_STATUS_NORMAL);
    EXPECT_EQ(test::read_text(defaults), kept);

    // The script asks for it: read at the start, written at the end.
    EXPECT_EQ(run_headless("defaults on\ncancel\n"), EXIT_STATUS_FATAL);
    EXPECT_EQ(G.INFMT, 7);
    EXPECT_EQ(G.INTFMT, 3);
    const std::string rewritten = test::read_text(defaults);
    EXPECT_NE(rewritten, kept);
    EXPECT_NE(rewritten.find("IN_DIR: /home/user/crystals/"), std::string::npos);
    EXPECT_NE(rewritten.find("FORMATS:     7    3"), std::string::npos);

    // The window keeps its defaults file as before.
    EXPECT_TRUE(defaults_file_in_use());
}

// The executable itself: what a shell or a batch system sees.
TEST_F(RunEnd, ExecutableReportsTheEndThroughItsExitStatus) {
    const fs::path program = fs::path(TARNIVOX_BINARY_DIR) / "tarnivox";
    if (!fs::exists(program)) GTEST_SKIP() << "the program is not built";
    const auto exit_status = [&](const std::string& name, const std::string& script) {
        write(dir_ / name, script);
        const std::string cmd = "'" + program.string() + "' --script '" + (dir_ / name).string() + "' >'" +
                                (dir_ / (name + ".out")).string() + "' 2>&1";
        const int raw = std::system(cmd.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    EXPECT_EQ(exit_status("normal.script", open_cad4() + "close\nanswer yes\n"), 0);
    EXPECT_EQ(exit_status("fatal.script", "cancel\n"), 1);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(exit_status("noout.script", open_cad4() + "press Integrate \"Auto profile fit\"\n"), 2);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 1.0);
    EXPECT_NE(test::read_text(dir_ / "noout.script.out").find("NO ANSWER TO \"No output datafile is open."),
              std::string::npos);
    // The program's own folder gets no defaults file from a headless run.
    EXPECT_FALSE(fs::exists(program.parent_path() / "Tarnivox_defaults.dat"));
}

}  // namespace
}  // namespace tarnivox
