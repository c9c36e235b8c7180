#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {
namespace {

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

class UnitTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tarnivox_units_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        close_all_units();
        std::filesystem::remove_all(dir_);
    }
    std::string path(const char* name) { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

TEST_F(UnitTest, CarriageControlTakesTheFirstCharacterOfEachRecord) {
    ASSERT_EQ(open_unit(LU_LOG, path("a.log"), OpenMode::Replace, true), 0);
    write_record(LU_LOG, "(1X,'one')");
    write_record(LU_LOG, "('0two')");
    write_record(LU_LOG, "('1three',/,'+four')");
    write_record(LU_LOG, "(/,/,'  CONTENTS ARE:',/)");
    close_unit(LU_LOG);
    EXPECT_EQ(slurp(path("a.log")), "one\n\ntwo\nthree\nfour\n\n\n CONTENTS ARE:\n\n");
}

TEST_F(UnitTest, BackspaceAndRewindStepThroughRecords) {
    ASSERT_EQ(open_unit(LU_SCAN, "", OpenMode::Scratch), 0);
    for (const char* s : {"first", "second", "third"}) write_line(LU_SCAN, s);
    rewind_unit(LU_SCAN);
    std::string line;
    ASSERT_EQ(read_line(LU_SCAN, line), READ_OK);
    ASSERT_EQ(read_line(LU_SCAN, line), READ_OK);
    EXPECT_EQ(line, "second");
    backspace_unit(LU_SCAN);
    backspace_unit(LU_SCAN);
    ASSERT_EQ(read_line(LU_SCAN, line), READ_OK);
    EXPECT_EQ(line, "first");
    backspace_unit(LU_SCAN);
    backspace_unit(LU_SCAN);  // at the start: stays there
    ASSERT_EQ(read_line(LU_SCAN, line), READ_OK);
    EXPECT_EQ(line, "first");
    read_line(LU_SCAN, line);
    read_line(LU_SCAN, line);
    EXPECT_EQ(read_line(LU_SCAN, line), READ_EOF);
    // After the end of file one backspace steps over the end only, a second
    // goes back to the last record.
    backspace_unit(LU_SCAN);
    EXPECT_EQ(read_line(LU_SCAN, line), READ_EOF);
    backspace_unit(LU_SCAN);
    backspace_unit(LU_SCAN);
    ASSERT_EQ(read_line(LU_SCAN, line), READ_OK);
    EXPECT_EQ(line, "third");
}

TEST_F(UnitTest, WritingAfterReadingMakesTheRecordTheLastOne) {
    ASSERT_EQ(open_unit(LU_EXPORT, path("d.dat"), OpenMode::Replace), 0);
    for (const char* s : {"a", "b", "c"}) write_line(LU_EXPORT, s);
    rewind_unit(LU_EXPORT);
    std::string line;
    read_line(LU_EXPORT, line);
    write_line(LU_EXPORT, "B");
    close_unit(LU_EXPORT);
    EXPECT_EQ(slurp(path("d.dat")), "a\nB\n");
}

TEST_F(UnitTest, OpenModesRefuseWhatTheRoleForbids) {
    EXPECT_NE(open_unit(LU_INPUT, path("missing.dat"), OpenMode::Read), 0);
    EXPECT_NE(open_unit(LU_INPUT, dir_.string(), OpenMode::Read), 0);  // a directory is no file
    ASSERT_EQ(open_unit(LU_OUTPUT, path("o.int"), OpenMode::New), 0);
    write_line(LU_OUTPUT, "x");
    close_unit(LU_OUTPUT);
    EXPECT_NE(open_unit(LU_OUTPUT, path("o.int"), OpenMode::New), 0);
    ASSERT_EQ(open_unit(LU_OUTPUT, path("o.int"), OpenMode::Append), 0);
    write_line(LU_OUTPUT, "y");
    close_unit(LU_OUTPUT);
    EXPECT_EQ(slurp(path("o.int")), "x\ny\n");
    ASSERT_EQ(open_unit(LU_INPUT, path("o.int"), OpenMode::Read), 0);
    EXPECT_NE(write_line(LU_INPUT, "z"), 0);  // read only
    std::string line;
    EXPECT_EQ(read_line(LU_PARAM, line), READ_ERROR);  // nothing open
}

TEST_F(UnitTest, ScratchFileIsDeletedWhenClosedAndLinesKeepNoCarriageReturn) {
    {
        std::ofstream f(path("crlf.txt"), std::ios::binary);
        f << "one\r\ntwo";
    }
    ASSERT_EQ(open_unit(LU_INPUT, path("crlf.txt"), OpenMode::Read), 0);
    std::string line;
    read_line(LU_INPUT, line);
    EXPECT_EQ(line, "one");
    read_line(LU_INPUT, line);
    EXPECT_EQ(line, "two");
    EXPECT_EQ(read_line(LU_INPUT, line), READ_EOF);
    ASSERT_EQ(open_unit(LU_SCAN, "", OpenMode::Scratch), 0);
    EXPECT_TRUE(unit_path(LU_SCAN).empty());
    close_unit(LU_SCAN);
    EXPECT_FALSE(unit_is_open(LU_SCAN));
}

TEST_F(UnitTest, RecordReaderReadsAcrossLinesAndReportsTheEnd) {
    ASSERT_EQ(open_unit(LU_SCAN, "", OpenMode::Scratch), 0);
    write_line(LU_SCAN, "   1   2");
    write_line(LU_SCAN, "   3");
    rewind_unit(LU_SCAN);
    int a = 0, b = 0, c = 0;
    ASSERT_EQ(read_record(LU_SCAN, "(2I4,/,I4)", {&a, &b, &c}), READ_OK);
    EXPECT_EQ(c, 3);
    EXPECT_EQ(read_record(LU_SCAN, "(I4)", {&a}), READ_EOF);
}

// Appending to a file whose last line has no end of line (an editor's
// file, or one cut short) starts the new records on a line of their own,
// with and without carriage control; a file that ends a line, or is empty,
// gets no blank line.
TEST_F(UnitTest, AppendedRecordsStartOnANewLineAndFailedOpensSayWhy) {
    struct Case {
        const char* before;
        bool cc;
        const char* after;
    } cases[] = {
        {"   1   2   3  10.0   1.0   1", false, "   1   2   3  10.0   1.0   1\nnext\n"},
        {"log line", true, "log line\nnext\n"},
        {"whole\n", false, "whole\nnext\n"},
        {"", false, "next\n"},
    };
    for (const Case& c : cases) {
        std::ofstream(path("a.txt"), std::ios::binary) << c.before;
        ASSERT_EQ(open_unit(LU_OUTPUT, path("a.txt"), OpenMode::Append, c.cc), 0);
        write_line(LU_OUTPUT, c.cc ? " next" : "next");
        close_unit(LU_OUTPUT);
        EXPECT_EQ(slurp(path("a.txt")), c.after) << c.before;
    }
    EXPECT_NE(open_unit(LU_PARAM, path("missing.par"), OpenMode::Read), 0);
    EXPECT_EQ(open_failure_reason(), "No such file or directory");
    EXPECT_NE(open_unit(LU_PARAM, dir_.string(), OpenMode::Read), 0);
    EXPECT_EQ(open_failure_reason(), "Is a directory");
}

}  // namespace
}  // namespace tarnivox

namespace tarnivox {
namespace {

int failed_unit = 0;
void note_failure(int lu) { failed_unit = lu; }

// A full disk met in the middle of a record: the file is cut back to its
// last whole record, records written before stay, and the unit goes on
// writing once there is room again.
TEST_F(UnitTest, AFailedWriteCutsTheFileBackToItsLastWholeRecord) {
    set_write_error_handler(note_failure);
    for (int lu : {LU_OUTPUT, LU_LOG}) {
        failed_unit = 0;
        const bool cc = lu == LU_LOG;
        ASSERT_EQ(open_unit(lu, path(cc ? "a.log" : "a.hkl"), OpenMode::Replace, cc), 0);
        const std::string p = unit_path(lu);
        for (const char* r : {" rec1", " rec2", " rec3"}) ASSERT_EQ(write_line(lu, r), 0);
        // The log takes the first character as carriage control.
        const std::string b = cc ? "" : " ";
        const std::string three = b + "rec1\n" + b + "rec2\n" + b + "rec3\n";
        const long used = static_cast<long>(three.size());
        // The fourth record needs 5 or 6 bytes; 3 are free.
        set_unit_size_limit(lu, used + 3);
        EXPECT_EQ(write_line(lu, " rec4"), 1);
        EXPECT_EQ(slurp(p), three);
        EXPECT_EQ(failed_unit, lu);
        // Records written as one go together: all of them or none.
        set_unit_size_limit(lu, used + 12);
        EXPECT_EQ(write_lines(lu, " a\n b\n c\n d\n e\n f\n g\n h"), 1);
        EXPECT_EQ(write_record(lu, "(' x',/,' y',/,' z',/,' w',/,' v',/,' u',/,' t',/,' s')"), 1);
        EXPECT_EQ(slurp(p), three);
        set_unit_size_limit(lu, -1);
        EXPECT_EQ(write_lines(lu, " rec4\n rec5"), 0);
        const std::string five = three + b + "rec4\n" + b + "rec5\n";
        EXPECT_EQ(slurp(p), five);
        close_unit(lu);
        EXPECT_EQ(slurp(p), five);  // nothing held back comes out at the close
    }
    // A file opened for appending keeps what it held before the run.
    ASSERT_EQ(open_unit(LU_LOG, path("a.log"), OpenMode::Append, true), 0);
    set_unit_size_limit(LU_LOG, 27);
    EXPECT_EQ(write_line(LU_LOG, " a record too long"), 1);
    close_unit(LU_LOG);
    EXPECT_EQ(slurp(path("a.log")), "rec1\nrec2\nrec3\nrec4\nrec5\n");
    set_unit_size_limit(LU_LOG, -1);
    set_write_error_handler(nullptr);
}

}  // namespace
}  // namespace tarnivox

namespace tarnivox {
namespace {

// A new output is written beside the file it replaces and takes its name
// only when finished: while it is written, after a run abandons it, and
// after a second writer is refused, the earlier file is as it was.
TEST_F(UnitTest, NewOutputsTakeTheirNameOnlyWhenFinishedAndOneWriterAtATime) {
    const std::string out = path("a.hkl"), partial = out + ".partial";
    std::ofstream(out) << "old\n";
    ASSERT_EQ(open_unit(LU_OUTPUT, out, OpenMode::Output), 0);
    EXPECT_EQ(unit_written_path(LU_OUTPUT), partial);
    ASSERT_EQ(write_line(LU_OUTPUT, "new1"), 0);
    EXPECT_EQ(slurp(out), "old\n");
    EXPECT_EQ(slurp(partial), "new1\n");
    // One writer at a time, for new outputs and for appended files.
    EXPECT_NE(open_unit(LU_EXP, out, OpenMode::Output), 0);
    EXPECT_EQ(open_failure_reason(), "the file is being written by another run");
    abandon_unit(LU_OUTPUT);
    EXPECT_EQ(slurp(out), "old\n");
    EXPECT_EQ(slurp(partial), "new1\n");
    // Opened again: the unfinished file starts afresh and takes the name.
    ASSERT_EQ(open_unit(LU_OUTPUT, out, OpenMode::Output), 0);
    ASSERT_EQ(write_line(LU_OUTPUT, "new2"), 0);
    EXPECT_EQ(close_unit(LU_OUTPUT), 0);
    EXPECT_EQ(slurp(out), "new2\n");
    EXPECT_FALSE(std::filesystem::exists(partial));
    // Nothing written, nothing left behind.
    ASSERT_EQ(open_unit(LU_OUTPUT, out, OpenMode::Output), 0);
    abandon_all_units();
    EXPECT_FALSE(std::filesystem::exists(partial));
    EXPECT_EQ(slurp(out), "new2\n");

    ASSERT_EQ(open_unit(LU_LOG, path("x.log"), OpenMode::Append, true), 0);
    EXPECT_NE(open_unit(LU_EXPORT, path("x.log"), OpenMode::Append, true), 0);
    EXPECT_EQ(open_failure_reason(), "the file is being written by another run");
    close_unit(LU_LOG);

    // A symbolic link keeps pointing at the new file.
    std::ofstream(path("real.hkl")) << "r\n";
    std::filesystem::create_symlink(path("real.hkl"), path("link.hkl"));
    ASSERT_EQ(open_unit(LU_OUTPUT, path("link.hkl"), OpenMode::Output), 0);
    write_line(LU_OUTPUT, "through the link");
    close_unit(LU_OUTPUT);
    EXPECT_TRUE(std::filesystem::is_symlink(path("link.hkl")));
    EXPECT_EQ(slurp(path("real.hkl")), "through the link\n");

    // A claim made before the run is taken over by the unit; another
    // process meets it as a file being written; an unused one leaves
    // nothing behind.
    ASSERT_EQ(claim_output(path("c.hkl")), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(path("c.hkl.partial").c_str(), O_RDWR);
        ::_exit(fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK ? 0 : 1);
    }
    int raw = 0;
    ::waitpid(child, &raw, 0);
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0);
    ASSERT_EQ(open_unit(LU_OUTPUT, path("c.hkl"), OpenMode::Output), 0);
    write_line(LU_OUTPUT, "claimed");
    close_unit(LU_OUTPUT);
    release_output_claim(path("c.hkl"));
    EXPECT_EQ(slurp(path("c.hkl")), "claimed\n");
    ASSERT_EQ(claim_output(path("d.hkl")), 0);
    EXPECT_TRUE(std::filesystem::exists(path("d.hkl.partial")));
    release_output_claim(path("d.hkl"));
    EXPECT_FALSE(std::filesystem::exists(path("d.hkl.partial")));

    // Only regular files: a device without end or a pipe is refused at
    // once, never read or waited on.
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0644), 0);
    for (const std::string& odd : {std::string("/dev/zero"), path("pipe")}) {
        EXPECT_NE(open_unit(LU_INPUT, odd, OpenMode::Read), 0) << odd;
        EXPECT_EQ(open_failure_reason(), "not a regular file");
    }

    ASSERT_EQ(write_whole_file(path("s.json"), "{}\n"), 0);
    EXPECT_EQ(slurp(path("s.json")), "{}\n");
    EXPECT_FALSE(std::filesystem::exists(path("s.json.partial")));
}

}  // namespace
}  // namespace tarnivox
