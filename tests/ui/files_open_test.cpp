// Choosing and opening the program's files through the dialogs.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/exitint.h"
#include "core/store.h"
#include "io/clock.h"
#include "io/units.h"
#include "support/scratch.h"
#include "ui/files.h"
#include "ui/preprocess_state.h"
#include "toolkit/script/script_backend.h"
#include "ui/widgets.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

constexpr int kOutputFormatEntry = 22;
constexpr int kZref = 14, kCalcUb = 15, kCalcBackground = 16, kCalcFwhm = 17, kDeltaD = 18;

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_store();
        close_all_units();
        set_clock_for_tests(1700000000);
        dir_ = test::make_scratch_dir("tarnivox_files");
    }
    void TearDown() override {
        close_all_units();
        set_clock_for_tests(std::nullopt);
        fs::remove_all(dir_);
    }
    // Installs a script (relative paths from the test folder) and builds
    // the main window.
    void start(const std::string& script) { test::open_headless_window(script, dir_.string()); }
    std::string path(const std::string& name) { return (dir_ / name).string(); }
    void make(const std::string& name, const std::string& text) {
        fs::create_directories(fs::path(path(name)).parent_path());
        std::ofstream(path(name)) << text;
    }
    static const ScriptWidget& widget(WidSlot s) { return script_backend()->widget(wid(s)); }
    static std::vector<ScriptEvent> events(ScriptEvent::Kind kind) { return test::script_events(kind); }
    fs::path dir_;
};

TEST_F(FilesTest, InputFileOpensTheLogNamedBeforeItsFirstDot) {
    make("my.crystals/data.set.dat", "");
    G.TITLE = "previous set";
    start("file my.crystals/data.set.dat\npress \"Input Data file Format\" OK\n");
    OPEN_IN();
    EXPECT_EQ(G.INOPEN, 1);
    EXPECT_EQ(G.INFILE.str(), "data.set.dat");
    EXPECT_EQ(G.WORKDIR.str(), path("my.crystals") + "/");
    EXPECT_TRUE(unit_is_open(LU_INPUT));
    // The log sits beside the input file, even in a folder with a '.'.
    const std::string log = path("my.crystals/data_Tarnivox.log");
    ASSERT_EQ(G.LOGOPEN, 1);
    flush_unit(LU_LOG);
    const auto l = test::read_lines(log);
    ASSERT_EQ(l.size(), 11u);
    EXPECT_EQ(l[2], std::string(79, '*'));
    EXPECT_EQ(l[4], "     THIS FILE CREATED BY TARNIVOX ON  " + date_text(1700000000));
    EXPECT_EQ(l[6], "     INPUT DATA FILE WAS: data.set.dat" + std::string(38, ' '));
    EXPECT_EQ(l[8], " TITLE previous set" + std::string(48, ' '));
    EXPECT_EQ(widget(MAIN_INFILE).text, "data.set.dat");
    EXPECT_TRUE(fs::exists(path("my.crystals/data.set.dat")));
    EXPECT_FALSE(fs::exists(path("my_Tarnivox.log")));
}

TEST_F(FilesTest, InputFileResetsThePreprocessingState) {
    make("scan.rfl", "");
    start("file scan.rfl\npress \"Input Data file Format\" OK\n");
    G.PREPFLAG = 1;
    G.UBFLAG = 1;
    SET_PREPROCESS(1, 0);
    OPEN_IN();
    EXPECT_EQ(G.PREPFLAG, 0);
    for (int entry : {kZref, kCalcUb, kCalcFwhm, kDeltaD})
        EXPECT_EQ(widget(MENU_ENTRY(entry)).status, 0) << entry;
    EXPECT_EQ(widget(MENU_ENTRY(kCalcBackground)).status, 1);
}

TEST_F(FilesTest, PreprocessingStateSetsTheMenuEntriesOfTheList) {
    start("");
    SET_PREPROCESS(0, 0);
    G.UBFLAG = 0;
    SET_PREPROCESS(1, 0);
    EXPECT_EQ(G.PREPFLAG, 1);
    for (int entry : {kZref, kCalcUb, kCalcBackground, kCalcFwhm})
        EXPECT_EQ(widget(MENU_ENTRY(entry)).status, 1);
    EXPECT_EQ(widget(MENU_ENTRY(kDeltaD)).status, 0);  // needs the orientation matrix
    G.UBFLAG = 1;
    SET_PREPROCESS(1, 1);
    EXPECT_EQ(widget(MENU_ENTRY(kDeltaD)).status, 1);
    EXPECT_EQ(widget(MENU_ENTRY(kZref)).status, 0);
    EXPECT_EQ(script_backend()->widget(wid(MENU_ENTRY(kOutputFormatEntry))).label, "Output format");
    EXPECT_EQ(script_backend()->widget(wid(MENU_ENTRY(kZref))).label, "Zref");
}

TEST_F(FilesTest, InputFileThatCannotBeOpenedIsAskedAgainAndCancelLeavesNoneOpen) {
    make("folder.rfl/x", "");  // a folder named like a data file
    make("old.rfl", "");
    start("file old.rfl\npress \"Input Data file Format\" OK\nfile folder.rfl\ncancel\n");
    OPEN_IN();
    ASSERT_EQ(G.INOPEN, 1);
    OPEN_IN();
    EXPECT_EQ(G.INOPEN, 0);
    EXPECT_FALSE(unit_is_open(LU_INPUT));
    const auto errors = events(ScriptEvent::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].title, "Tarnivox");
    EXPECT_EQ(errors[0].text, "Error opening file: Try again");
    EXPECT_EQ(events(ScriptEvent::OpenFile).size(), 3u);
}

TEST_F(FilesTest, OutputFileShowsNameFormatAndControls) {
    start("file result.int\nfile cad4_large_run.hkl 2\n");
    EXPECT_EQ(widget(MAIN_OUTPUT_CAPTION).status, -1);
    EXPECT_EQ(widget(MENU_ENTRY(kOutputFormatEntry)).status, 0);
    const std::string log = path("run.log");
    ASSERT_EQ(open_unit(LU_LOG, log, OpenMode::Append, true), 0);
    G.LOGOPEN = 1;
    G.INTFMT = 1;
    OPEN_OUT();
    EXPECT_EQ(G.OUTOPEN, 1);
    EXPECT_EQ(G.OUTFILE.str(), "result.int");
    EXPECT_EQ(G.OUTDIR.str(), dir_.string() + "/");
    EXPECT_EQ(G.INTFMT, 1);
    // Written beside its final name until it is finished.
    EXPECT_TRUE(fs::exists(path("result.int.partial")));
    EXPECT_EQ(widget(MAIN_OUTFILE).text, "result.int");
    EXPECT_EQ(widget(MAIN_FORMAT).text, "Rfine");
    EXPECT_EQ(widget(MAIN_OUTPUT_CAPTION).status, 1);
    EXPECT_EQ(widget(MAIN_FORMAT_CAPTION).status, 1);
    EXPECT_EQ(widget(MENU_ENTRY(kOutputFormatEntry)).status, 1);
    flush_unit(LU_LOG);
    EXPECT_EQ(test::read_lines(log),
              (std::vector<std::string>{"", "", " INTEGRATED DATA FILE OPENED: result.int  "}));
    // A longer name is written whole.
    OPEN_OUT();
    flush_unit(LU_LOG);
    EXPECT_EQ(test::read_lines(log).back(), " INTEGRATED DATA FILE OPENED: cad4_large_run.hkl");
}

TEST_F(FilesTest, OutputFormatFollowsExtensionUnlessTheFilterSaysOtherwise) {
    start(
        "file a.hkl 2\n"  // Shelx filter: SHELX
        "file b.hkl 3\n"  // All Formats: SHELX
        "file c.int 3\n"  // All Formats: Rfine
        "file d.hkl 1\n"  // Rfine filter: the user is asked, SHELX offered
        "press \"Output Format\" \"Save + Exit\"\n"
        "file i.hkl 1\n"  // Rfine chosen for a .hkl: asked again, NO keeps SHELX
        "toggle \"Output Format\" Rfine on\n"
        "press \"Output Format\" \"Save + Exit\"\n"
        "answer no\n"
        "file j.hkl 1\n"  // ... and YES writes Rfine records as asked
        "toggle \"Output Format\" Rfine on\n"
        "press \"Output Format\" \"Save + Exit\"\n"
        "answer yes\n"
        "file e.int 2\n"  // Shelx filter on .int: asked, left
        "press \"Output Format\" Quit\n"
        // A name typed without an extension: the filter gives it, so the
        // name and the format agree; under All Formats the format in force.
        "file f 2\n"
        "file g 3\n"
        "file h 1\n");
    const int expected[] = {3, 3, 1, 3, 3, 1, 1};
    for (int want : expected) {
        G.INTFMT = 2;
        OPEN_OUT();
        EXPECT_EQ(G.INTFMT, want) << G.OUTFILE.str();
        EXPECT_EQ(widget(MAIN_FORMAT).text, want == 3 ? "Shelx" : "Rfine");
    }
    const struct {
        int before;
        const char* name;
        int format;
    } typed[] = {{1, "f.hkl", 3}, {3, "g.hkl", 3}, {3, "h.int", 1}};
    for (const auto& t : typed) {
        G.INTFMT = t.before;
        OPEN_OUT();
        EXPECT_EQ(G.OUTFILE.str(), t.name);
        EXPECT_EQ(G.INTFMT, t.format) << t.name;
    }
}

TEST_F(FilesTest, ExistingOutputFileIsOverwrittenAppendedOrLeft) {
    make("out.int", "old record\n");
    start(
        "file out.int\nanswer no\n"
        "file out.int\nanswer cancel\n"
        "file out.int\nanswer yes\n");
    OPEN_OUT();
    ASSERT_EQ(G.OUTOPEN, 1);
    write_line(LU_OUTPUT, "new record");
    flush_unit(LU_OUTPUT);
    EXPECT_EQ(test::read_lines(path("out.int")), (std::vector<std::string>{"old record", "new record"}));

    OPEN_OUT();  // cancelled at the question: no output file
    EXPECT_EQ(G.OUTOPEN, 0);
    EXPECT_FALSE(unit_is_open(LU_OUTPUT));
    EXPECT_EQ(widget(MAIN_OUTFILE).text, "");
    EXPECT_EQ(widget(MAIN_FORMAT_CAPTION).status, -1);
    EXPECT_EQ(widget(MENU_ENTRY(kOutputFormatEntry)).status, 0);

    OPEN_OUT();
    ASSERT_EQ(G.OUTOPEN, 1);
    flush_unit(LU_OUTPUT);
    // Overwritten: a new, empty file that replaces the old one when closed.
    EXPECT_TRUE(test::read_lines(unit_written_path(LU_OUTPUT)).empty());
    EXPECT_FALSE(test::read_lines(path("out.int")).empty());
    close_unit(LU_OUTPUT);
    EXPECT_TRUE(test::read_lines(path("out.int")).empty());
    const auto asked = events(ScriptEvent::Message);
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].title, "Open output file");
    EXPECT_EQ(asked[0].text, "Output file already exists: Overwrite (YES) or Append (No)");
}

TEST_F(FilesTest, OutputDialogCancelledLeavesNoOutputFile) {
    start("file first.int\ncancel\n");
    OPEN_OUT();
    ASSERT_EQ(G.OUTOPEN, 1);
    OPEN_OUT();
    EXPECT_EQ(G.OUTOPEN, 0);
    EXPECT_FALSE(unit_is_open(LU_OUTPUT));
    EXPECT_EQ(widget(MAIN_OUTFILE).text, "");
    EXPECT_EQ(widget(MAIN_OUTPUT_CAPTION).status, -1);
}

TEST_F(FilesTest, BrowsedNamesWithoutExtensionGetTheirKindsOne) {
    start("browse mylog\nbrowse expt\nbrowse scans\nbrowse scans.txt\n");
    OPEN_LOG();
    EXPECT_EQ(G.LOGOPEN, 1);
    EXPECT_EQ(unit_path(LU_LOG), path("mylog.log"));
    OPEN_EXP();
    EXPECT_EQ(unit_path(LU_EXP), path("expt.exp"));
    int status = 5;
    OPEN_SCANDATA(status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(unit_path(LU_EXPORT), path("scans.dat"));
    OPEN_SCANDATA(status);
    EXPECT_EQ(unit_path(LU_EXPORT), path("scans.txt"));
    const auto b = events(ScriptEvent::Browse);
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(b[0].title, "Open Log File");
    EXPECT_EQ(b[1].title, "Create Experiment File");
    EXPECT_EQ(b[2].title, "Open Data File");
}

TEST_F(FilesTest, BrowseFailuresAskAgainAndCancelLeavesTheFileClosed) {
    fs::create_directories(dir_ / "taken.log");
    fs::create_directories(dir_ / "taken.exp");
    fs::create_directories(dir_ / "taken.dat");
    start("browse taken.log\ncancel\nbrowse taken.exp\ncancel\nbrowse taken.dat\ncancel\n");
    G.LOGOPEN = 1;
    OPEN_LOG();
    EXPECT_EQ(G.LOGOPEN, 0);
    OPEN_EXP();
    EXPECT_FALSE(unit_is_open(LU_EXP));
    int status = 0;
    OPEN_SCANDATA(status);
    EXPECT_EQ(status, 1);
    const auto e = events(ScriptEvent::Error);
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].title, "ERROR");
    EXPECT_EQ(e[0].text, "Error opening LOG file: Try again");
    EXPECT_EQ(e[1].text, "Error opening exp file: Try again");
    EXPECT_EQ(e[2].text, "Error opening datafile: Try again");
}

TEST_F(FilesTest, ParameterFileIsReadAfterItsLogHeader) {
    make("inst.par", test::kInstrumentParameters);
    start("cancel\nbrowse missing.par\nbrowse inst.par\n");
    int status = 0;
    OPEN_PAR(status);
    EXPECT_EQ(status, 1);
    const std::string log = path("run.log");
    ASSERT_EQ(open_unit(LU_LOG, log, OpenMode::Append, true), 0);
    G.LOGOPEN = 1;
    OPEN_PAR(status);
    EXPECT_EQ(status, 0);
    EXPECT_DOUBLE_EQ(G.ATTEN, 12.5);
    const auto e = events(ScriptEvent::Error);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].title, "ERROR");
    // The box says why: the file is not there.
    EXPECT_EQ(e[0].text, "Error opening file: Try again\nmissing.par: No such file or directory");
    flush_unit(LU_LOG);
    const auto l = test::read_lines(log);
    ASSERT_GE(l.size(), 5u);
    EXPECT_EQ(l[2], " INSTRUMENT PARAMETER FILE OPENED: inst.par" + std::string(22, ' '));
    EXPECT_EQ(l[3], " CONTENTS ARE:");
    EXPECT_EQ(l[5].substr(0, 19), "PKPAR  0.1 0.02 0.5");
}

TEST_F(FilesTest, BadParameterFileStopsTheRunThroughTheDialog) {
    make("bad.par", "ATTEN  twelve\n");
    start("browse bad.par\n");
    int status = 0;
    try {
        OPEN_PAR(status);
        FAIL() << "a bad parameter file must end the run";
    } catch (const ProgramEnd& end) {
        EXPECT_EQ(end.message, "ERROR READING PARAMETER FILE");
    }
}

TEST_F(FilesTest, NewStandardDataFileOpensOnTheGivenUnitWithoutRetry) {
    make("exists.rfl", "old\n");
    start("cancel\nfile nofolder/new.rfl\nfile exists.rfl\n");
    const std::string log = path("run.log");
    ASSERT_EQ(open_unit(LU_LOG, log, OpenMode::Append, true), 0);
    G.LOGOPEN = 1;
    int status = 0;
    OPEN_NEWSTD(status, LU_EXP);
    EXPECT_EQ(status, 1);
    OPEN_NEWSTD(status, LU_EXP);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(events(ScriptEvent::Error).empty());
    OPEN_NEWSTD(status, LU_EXP);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(unit_path(LU_EXP), path("exists.rfl"));
    flush_unit(LU_EXP);
    EXPECT_TRUE(test::read_lines(unit_written_path(LU_EXP)).empty());
    flush_unit(LU_LOG);
    const auto l = test::read_lines(log);
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[2], " STANDARD DATA FILE OPENED: exists.rfl" + std::string(50, ' '));
}

}  // namespace
}  // namespace tarnivox
