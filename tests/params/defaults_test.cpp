// The defaults file kept beside the program between runs.

#include "params/defaults.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/store.h"
#include "io/clock.h"
#include "io/units.h"
#include "support/scratch.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

class DefaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::fresh_run_in_scratch_dir("tarnivox_defaults");
        file_ = test::defaults_file_in(dir_);
        set_clock_for_tests(1700000000);
    }
    void TearDown() override {
        set_clock_for_tests(std::nullopt);
        test::end_run_in_scratch_dir(dir_);
    }
    fs::path dir_;
    fs::path file_;
};

TEST_F(DefaultsTest, FirstRunCreatesAnEmptyFileAndEndOfRunFillsIt) {
    G.INFMT = 4;
    G.INTFMT = 3;
    READ_DEFAULTS_FROM_FILE();
    EXPECT_EQ(G.INFMT, 1);
    EXPECT_EQ(G.INTFMT, 1);
    EXPECT_TRUE(G.WORKDIR.blank());
    ASSERT_TRUE(fs::exists(file_));
    EXPECT_EQ(fs::file_size(file_), 0u);

    G.WORKDIR = "/data/crystals/";
    G.INFMT = 7;
    G.INTFMT = 3;
    WRITE_DEFAULTS_TO_FILE();
    const auto l = test::read_lines(file_);
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[0], "      This is the configuration file for Tarnivox");
    EXPECT_EQ(l[1], "      Created on: " + date_text(1700000000));
    EXPECT_EQ(l[2], "IN_DIR: /data/crystals/");
    EXPECT_EQ(l[3], "FORMATS:     7    3");
    EXPECT_FALSE(unit_is_open(LU_EXPORT));

    reset_store();
    READ_DEFAULTS_FROM_FILE();
    EXPECT_EQ(G.WORKDIR.str(), "/data/crystals/");
    EXPECT_EQ(G.INFMT, 7);
    EXPECT_EQ(G.INTFMT, 3);
}

TEST_F(DefaultsTest, LinesAreFoundByKeywordAndLaterLinesWin) {
    std::ofstream(file_) << "junk\n"
                            "FORMATS: 2 2\n"
                            "  IN_DIR:     /first/\n"
                            "whatever FORMATS: 5\n"  // INTFMT missing: kept
                            "FORMATS: x 1\n"         // unreadable: ignored
                            "FORMATS: 99 0\n"        // no such formats: ignored
                            "IN_DIR: /second dir/\n";
    const MessageSink sink = current_message_sink();
    set_message_sink({});
    clear_recorded_messages();
    READ_DEFAULTS_FROM_FILE();
    EXPECT_EQ(G.WORKDIR.str(), "/second dir/");
    EXPECT_EQ(G.INFMT, 5);
    EXPECT_EQ(G.INTFMT, 2);
    // A code out of range is passed over with a notice, never silently.
    const std::vector<Message> shown = recorded_messages();
    set_message_sink(sink);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Tarnivox_defaults.dat: input format code 99 is not one of 1 to 7; format 5 is kept");
    EXPECT_EQ(shown[1].text, "Tarnivox_defaults.dat: output format code 0 is not one of 1 to 3; format 2 is kept");
}

TEST_F(DefaultsTest, DirectoryThatIsNotAnAbsolutePathBecomesTheProgramFolder) {
    for (const std::string dir : {"\\\\server\\share\\data\\", "relative/dir/", ""}) {
        std::ofstream(file_) << "IN_DIR: " << dir << "\nFORMATS: 3 1\n";
        reset_store();
        READ_DEFAULTS_FROM_FILE();
        EXPECT_EQ(G.WORKDIR.str(), (dir_ / "bin").string() + "/") << dir;
        EXPECT_EQ(G.INFMT, 3);
    }
}

TEST_F(DefaultsTest, WriterRewritesItsOwnFileWhateverTheSharedUnitHolds) {
    std::ofstream(file_) << "IN_DIR: /old/\nFORMATS: 1 1\nsome old line\nanother\nand more\n";
    READ_DEFAULTS_FROM_FILE();
    const fs::path other = dir_ / "export.dat";
    ASSERT_EQ(open_unit(LU_EXPORT, other.string(), OpenMode::Append, true), 0);
    write_line(LU_EXPORT, " scan export record");
    G.WORKDIR = "/new/dir/    trailing part";
    WRITE_DEFAULTS_TO_FILE();
    const auto l = test::read_lines(file_);
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[2], "IN_DIR: /new/dir/");
    EXPECT_EQ(test::read_lines(other), std::vector<std::string>{"scan export record"});
}

TEST_F(DefaultsTest, WithoutXdgConfigHomeTheFileIsKeptUnderHomeConfig) {
    // Where the program lives does not matter, even a folder that does not
    // exist; a relative XDG_CONFIG_HOME is ignored, as the XDG rules ask.
    set_program_path((dir_ / "missing" / "tarnivox").string());
    const char* old_home = std::getenv("HOME");
    const std::string saved = old_home ? old_home : "";
    const std::string xdg = std::getenv("XDG_CONFIG_HOME");
    ::setenv("HOME", dir_.c_str(), 1);
    for (const bool relative : {false, true}) {
        if (relative)
            ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(dir_ / ".config");
        READ_DEFAULTS_FROM_FILE();
        G.INFMT = 6;
        WRITE_DEFAULTS_TO_FILE();
        EXPECT_EQ(defaults_file_path(), (dir_ / ".config" / "tarnivox" / "Tarnivox_defaults.dat").string());
        const auto l = test::read_lines(dir_ / ".config" / "tarnivox" / "Tarnivox_defaults.dat");
        ASSERT_EQ(l.size(), 4u);
        EXPECT_EQ(l[3], "FORMATS:     6    1");
    }
    ::setenv("HOME", saved.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    EXPECT_FALSE(fs::exists(dir_ / "relative"));
}

TEST_F(DefaultsTest, AFileBesideTheProgramIsReadOnceIntoTheConfigFolder) {
    const fs::path old = dir_ / "bin" / "Tarnivox_defaults.dat";
    std::ofstream(old) << "IN_DIR: /old/place/\nFORMATS: 7 3\n";
    READ_DEFAULTS_FROM_FILE();
    EXPECT_EQ(G.WORKDIR.str(), "/old/place/");
    EXPECT_EQ(G.INFMT, 7);
    EXPECT_EQ(G.INTFMT, 3);
    WRITE_DEFAULTS_TO_FILE();
    ASSERT_TRUE(fs::exists(file_));
    EXPECT_EQ(test::read_lines(file_)[3], "FORMATS:     7    3");
    // The old file is the user's: left as it was, and read no more.
    EXPECT_EQ(test::read_text(old), "IN_DIR: /old/place/\nFORMATS: 7 3\n");
    std::ofstream(old) << "IN_DIR: /older/\nFORMATS: 2 2\n";
    reset_store();
    G.INFMT = 5;
    READ_DEFAULTS_FROM_FILE();
    EXPECT_EQ(G.WORKDIR.str(), "/old/place/");
    EXPECT_EQ(G.INFMT, 7);
}

TEST_F(DefaultsTest, NoProgramPathMeansNoDefaultsFile) {
    set_program_path("");
    G.WORKDIR = "/kept/";
    READ_DEFAULTS_FROM_FILE();
    EXPECT_EQ(G.INFMT, 1);
    EXPECT_EQ(G.WORKDIR.str(), "/kept/");
    WRITE_DEFAULTS_TO_FILE();
    EXPECT_FALSE(fs::exists(file_));
}

}  // namespace
}  // namespace tarnivox
