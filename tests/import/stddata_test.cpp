// The standard scan file: what the writer puts in it and how the reader
// walks it into the current scan record.

#include "import/stddata.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/store.h"
#include "io/units.h"
#include "support/scratch.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

class StdDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_store();
        close_all_units();
        test::open_headless_window();  // the reader hides the wait box at the end of the data
        dir_ = test::make_scratch_dir("tarnivox_stddata");
        path_ = (dir_ / "scan.rfl").string();
    }
    void TearDown() override {
        close_all_units();
        fs::remove_all(dir_);
    }

    std::vector<std::string> lines() {
        flush_unit(LU_SCAN);
        return test::read_lines(path_);
    }
    void write_text(const std::string& text) {
        std::ofstream(path_) << text;
        ASSERT_EQ(open_unit(LU_SCAN, path_, OpenMode::Read), 0);
    }
    int message_count(const std::string& text) {
        int n = 0;
        for (const auto& e : script_backend()->events())
            if (e.kind == ScriptEvent::Message && e.text == text) ++n;
        return n;
    }
    // One reflection with counts 1..npts (times `factor`), flag and number.
    void write_ref(int nref, int h, int k, int l, int npts, char flag, long long factor = 1) {
        std::vector<long long> counts(static_cast<std::size_t>(npts));
        for (int i = 0; i < npts; ++i) counts[static_cast<std::size_t>(i)] = (i + 1) * factor + nref;
        Arr1<int, 3> hkl{{h, k, l}};
        Arr1<double, 4> ang{{20.0 + nref, 10.0, 30.0, 40.0}};
        double scale = 1.0;
        int status = -5;
        WRITE_REF_STDDATA(LU_SCAN, status, nref, hkl, 0.0, ang, npts, 0.02, scale, 0, flag, counts);
        ASSERT_EQ(status, 0);
    }
    // A header and reflections 1..n with the given flags ('N' by default).
    void write_data_set(const std::string& flags) {
        ASSERT_EQ(open_unit(LU_SCAN, path_, OpenMode::Replace), 0);
        G.TITLE = "Test crystal";
        WRITE_HEADER_STDDATA(LU_SCAN);
        for (std::size_t i = 0; i < flags.size(); ++i)
            write_ref(static_cast<int>(i) + 1, static_cast<int>(i), 1, 2, 5 + static_cast<int>(i), flags[i]);
        rewind_unit(LU_SCAN);
        int st = 0;
        SKIP_HEADER_STDDATA(LU_SCAN, st);
        ASSERT_EQ(st, 0);
    }
    int read(int mode, int nref = 0, Arr1<int, 3> hkl = {}, int status = 0) {
        READ_SCAN_STDDATA(LU_SCAN, mode, nref, hkl, status);
        return status;
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(StdDataTest, HeaderHoldsTitleCellUbAndAttenuatorInTenLines) {
    ASSERT_EQ(open_unit(LU_SCAN, path_, OpenMode::Replace), 0);
    G.TITLE = "Quartz";
    for (int i = 1; i <= 6; ++i) G.CELL(i) = i < 4 ? 4.9 + i : 90.0;
    G.UB(1, 1) = 0.1234567;
    G.UB(3, 3) = -0.5;
    G.ATTEN = 12.5;
    WRITE_HEADER_STDDATA(LU_SCAN);
    const auto l = lines();
    ASSERT_EQ(l.size(), 10u);
    EXPECT_EQ(l[0], "H");
    EXPECT_EQ(l[1], "T Quartz" + std::string(54, ' '));
    EXPECT_EQ(l[2], "H    5.9000    6.9000    7.9000   90.0000   90.0000   90.0000");
    EXPECT_EQ(l[5], "U   0.1234567   0.0000000   0.0000000");
    EXPECT_EQ(l[7], "U   0.0000000   0.0000000  -0.5000000");
    EXPECT_EQ(l[8], "A 12.500000");
    EXPECT_EQ(l[9], "DATA");
}

TEST_F(StdDataTest, CountLinesHoldTenCountsAndOnePartialLine) {
    ASSERT_EQ(open_unit(LU_SCAN, path_, OpenMode::Replace), 0);
    write_ref(7, 1, -2, 3, 10, 'S');
    write_ref(8, 0, 0, 4, 25, 'W');
    const auto l = lines();
    ASSERT_EQ(l.size(), 1u + 1u + 1u + 3u);
    EXPECT_EQ(
        l[0],
        "R     7   1  -2   3    0.0000   27.0000   10.0000   30.0000   40.0000  10   0.02000   1.00000   0S");
    EXPECT_EQ(l[1], "S       8       9      10      11      12      13      14      15      16      17");
    EXPECT_EQ(l[2].substr(0, 7), "R     8");
    EXPECT_EQ(l[2].back(), 'W');
    EXPECT_EQ(l[3].size(), 81u);
    EXPECT_EQ(l[4].size(), 81u);
    EXPECT_EQ(l[5], "S      29      30      31      32      33");
}

TEST_F(StdDataTest, CountsAboveEightColumnsAreDividedAndScaleCarriesTheFactor) {
    ASSERT_EQ(open_unit(LU_SCAN, path_, OpenMode::Replace), 0);
    Arr1<int, 3> hkl{{1, 1, 1}};
    Arr1<double, 4> ang{{20.0, 10.0, 0.0, 0.0}};
    struct Case {
        long long largest;
        long long other;
        double scale_after;
        long long largest_written;
        long long other_written;
    };
    // The divisor is the smallest whole number that brings the largest count
    // to at most 99,999,999.
    const Case cases[] = {{99999999, 7, 1.5, 99999999, 7},
                          {150000000, 7, 3.0, 75000000, 3},
                          {199999999, 3, 3.0, 99999999, 1},
                          {200000000, 5, 4.5, 66666666, 1}};
    for (const Case& c : cases) {
        std::vector<long long> counts{c.other, c.largest};
        double scale = 1.5;
        int status = 1;
        WRITE_REF_STDDATA(LU_SCAN, status, 1, hkl, 0.0, ang, 2, 0.02, scale, 0, 'S', counts);
        EXPECT_EQ(status, 0);
        EXPECT_DOUBLE_EQ(scale, c.scale_after) << c.largest;
    }
    const auto l = lines();
    ASSERT_EQ(l.size(), 8u);
    for (std::size_t i = 0; i < 4; ++i) {
        std::ostringstream expect;
        expect << "S";
        expect.width(8);
        expect << cases[i].other_written;
        expect.width(8);
        expect << cases[i].largest_written;
        EXPECT_EQ(l[2 * i + 1], expect.str());
    }
}

TEST_F(StdDataTest, WriterRefusesStepCountsTheReaderCannotHold) {
    ASSERT_EQ(open_unit(LU_SCAN, path_, OpenMode::Replace), 0);
    Arr1<int, 3> hkl;
    Arr1<double, 4> ang;
    std::vector<long long> counts(501, 5);
    double scale = 1.0;
    for (int npts : {0, 501, -3}) {
        int status = 0;
        WRITE_REF_STDDATA(LU_SCAN, status, 1, hkl, 0.0, ang, npts, 0.02, scale, 0, 'N', counts);
        EXPECT_EQ(status, 1) << npts;
    }
    int status = 0;  // fewer counts given than steps claimed
    WRITE_REF_STDDATA(LU_SCAN, status, 1, hkl, 0.0, ang, 10, 0.02, scale, 0, 'N',
                      std::span<const long long>(counts).first(9));
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(lines().empty());
}

TEST_F(StdDataTest, WriteErrorGivesStatusOne) {
    std::ofstream(path_) << "x\n";
    ASSERT_EQ(open_unit(LU_SCAN, path_, OpenMode::Read), 0);
    Arr1<int, 3> hkl;
    Arr1<double, 4> ang;
    std::vector<long long> counts(3, 5);
    double scale = 1.0;
    int status = 0;
    WRITE_REF_STDDATA(LU_SCAN, status, 1, hkl, 0.0, ang, 3, 0.02, scale, 0, 'N', counts);
    EXPECT_EQ(status, 1);
}

TEST_F(StdDataTest, HeaderReaderUpperCasesTitleAndTakesUbRows) {
    write_text(
        "h\nT Mixed case Title\nH  1 2 3\nU 0.1 0.2 0.3\nu 0.4, 0.5, 0.6\nU 0.7 0.8 0.9\nA "
        "1.0\ndata\nR...\n");
    int status = 5;
    READ_HEADER_STDDATA(LU_SCAN, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(G.TITLE.str(), " MIXED CASE TITLE");
    EXPECT_EQ(G.UBFLAG, 1);
    EXPECT_DOUBLE_EQ(G.UB(2, 2), 0.5);
    EXPECT_DOUBLE_EQ(G.UB(3, 1), 0.7);
    std::string next;
    EXPECT_EQ(read_line(LU_SCAN, next), READ_OK);
    EXPECT_EQ(next, "R...");
}

TEST_F(StdDataTest, HeaderReaderCountsUnreadableAndExtraUbLines) {
    // The unreadable second row is counted, so the third U line fills row 3
    // and the orientation is marked known; a fourth U line has no row.
    write_text("U 1 0 0\nU x y z\nU 0 0 1\nU 9 9 9\nT " + std::string(200, 'a') + "\nDATA\n");
    int status = 0;
    READ_HEADER_STDDATA(LU_SCAN, status);
    EXPECT_EQ(status, 0);
    EXPECT_DOUBLE_EQ(G.UB(1, 1), 1.0);
    EXPECT_DOUBLE_EQ(G.UB(2, 2), 0.0);
    EXPECT_DOUBLE_EQ(G.UB(3, 3), 1.0);
    EXPECT_EQ(G.UBFLAG, 1);
    EXPECT_EQ(G.TITLE.str(), " " + std::string(59, 'A'));
}

TEST_F(StdDataTest, HeaderWrittenWithoutOrientationDoesNotClaimOne) {
    ASSERT_EQ(open_unit(LU_SCAN, path_, OpenMode::Replace), 0);
    WRITE_HEADER_STDDATA(LU_SCAN);
    rewind_unit(LU_SCAN);
    int status = 1;
    READ_HEADER_STDDATA(LU_SCAN, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(G.UBFLAG, 0);
}

TEST_F(StdDataTest, HeaderWithoutDataLineIsAnError) {
    write_text("H\nT title\nU 1 0 0\n");
    int status = 0;
    READ_HEADER_STDDATA(LU_SCAN, status);
    EXPECT_EQ(status, 1);
    status = 0;
    SKIP_HEADER_STDDATA(LU_SCAN, status);
    EXPECT_EQ(status, 12);
    status = 0;
    EXPECT_EQ(read(2, 0, Arr1<int, 3>{{1, 2, 3}}), 12);
}

TEST_F(StdDataTest, ForwardStepsReadEachReflectionAndDeriveScanValues) {
    G.WAVE1 = 0.7093;
    G.WAVE2 = 0.71359;
    G.MONOSHIFT = -0.0123;
    write_data_set("NN");
    ASSERT_EQ(read(0), 0);
    EXPECT_EQ(G.NREF, 1);
    EXPECT_EQ(G.NPTS, 5);
    EXPECT_EQ(G.IHKL, (Arr1<int, 3>{{0, 1, 2}}));
    EXPECT_DOUBLE_EQ(G.COUNTS(5), 6.0);
    EXPECT_DOUBLE_EQ(G.STEPANG(1), 10.0 - 2 * 0.02);
    EXPECT_DOUBLE_EQ(G.STEPANG(3), 10.0);
    EXPECT_EQ(G.IMAX, 5);
    EXPECT_DOUBLE_EQ(G.CMAX, 6.0);
    EXPECT_DOUBLE_EQ(G.SCANW, 4 * 0.02);
    EXPECT_NEAR(G.A2SHIFT, std::asin(0.71359 / 0.7093 * std::sin(10.5 / 57.29578)) * 57.29578 - 10.5, 1e-12);
    EXPECT_DOUBLE_EQ(G.MSHIFT, -0.0123);
    EXPECT_EQ(G.RFLAG_SAVE, 'N');
    ASSERT_EQ(read(0), 0);
    EXPECT_EQ(G.NREF, 2);
    EXPECT_EQ(G.NPTS, 6);
}

TEST_F(StdDataTest, LargestCountTakesTheFirstOfEqualStepsAndZeroScanPointsAtStepOne) {
    write_text(
        "DATA\nR     1   0   0   1    0.0000   20.0000   10.0000    0.0000    0.0000   4   0.02000   1.00000 "
        "  0N\n"
        "S       3       9       9       1\n"
        "R     2   0   0   2    0.0000   20.0000   10.0000    0.0000    0.0000   3   0.02000   1.00000   0N\n"
        "S       0       0       0\n");
    ASSERT_EQ(read(0), 0);
    EXPECT_EQ(G.IMAX, 2);
    ASSERT_EQ(read(0), 0);
    EXPECT_EQ(G.IMAX, 1);
    EXPECT_DOUBLE_EQ(G.CMAX, 0.0);
    EXPECT_EQ(G.A2SHIFT, 0.0);  // no wavelengths known yet
}

TEST_F(StdDataTest, StepBackFromFirstReflectionChangesNothing) {
    write_data_set("NNN");
    ASSERT_EQ(read(0), 0);
    const Store before = G;
    EXPECT_EQ(read(-1), 0);
    EXPECT_EQ(G.NREF, before.NREF);
    EXPECT_EQ(G.COUNTS, before.COUNTS);
    ASSERT_EQ(read(0), 0);  // the position was not moved either
    EXPECT_EQ(G.NREF, 2);
}

TEST_F(StdDataTest, StepBackReadsThePreviousReflection) {
    write_data_set("NNNN");
    for (int i = 0; i < 3; ++i) ASSERT_EQ(read(0), 0);
    ASSERT_EQ(read(-1), 0);
    EXPECT_EQ(G.NREF, 2);
    ASSERT_EQ(read(-1), 0);
    EXPECT_EQ(G.NREF, 1);
    ASSERT_EQ(read(0), 0);
    EXPECT_EQ(G.NREF, 2);
}

TEST_F(StdDataTest, StepsPastTheEndReportEachTimeAndKeepTheLastReflection) {
    write_data_set("NNN");
    for (int i = 0; i < 3; ++i) ASSERT_EQ(read(0), 0);
    const Store last = G;
    EXPECT_EQ(read(0), 12);
    EXPECT_EQ(read(0), 12);
    EXPECT_EQ(message_count("End of File"), 2);
    EXPECT_EQ(G.NREF, 3);
    EXPECT_EQ(G.COUNTS, last.COUNTS);
    // Quiet call: the same status, no box.
    EXPECT_EQ(read(0, 0, {}, -1), 12);
    EXPECT_EQ(message_count("End of File"), 2);
    // After the end, a step back gives the reflection before the last one.
    ASSERT_EQ(read(-1), 0);
    EXPECT_EQ(G.NREF, 2);
}

TEST_F(StdDataTest, SearchByNumberAndByIndicesRestartsFromTheData) {
    write_data_set("NNNN");
    for (int i = 0; i < 3; ++i) ASSERT_EQ(read(0), 0);
    ASSERT_EQ(read(1, 2), 0);
    EXPECT_EQ(G.NREF, 2);
    ASSERT_EQ(read(1, -4), 0);  // a negative number means the first
    EXPECT_EQ(G.NREF, 1);
    ASSERT_EQ(read(2, 0, Arr1<int, 3>{{3, 1, 2}}), 0);
    EXPECT_EQ(G.NREF, 4);
    EXPECT_EQ(G.NPTS, 8);
}

TEST_F(StdDataTest, SearchForAbsentIndicesSaysNotFoundAndKeepsTheRecord) {
    write_data_set("NN");
    ASSERT_EQ(read(0), 0);
    const Store before = G;
    EXPECT_EQ(read(2, 0, Arr1<int, 3>{{9, 9, 9}}), 13);
    EXPECT_EQ(read(1, 77, {}, -1), 13);  // a search is never quiet
    EXPECT_EQ(message_count("Reflection not found"), 2);
    EXPECT_EQ(G.NREF, before.NREF);
    EXPECT_EQ(G.NPTS, before.NPTS);
    EXPECT_EQ(G.IHKL, before.IHKL);
}

TEST_F(StdDataTest, SkipWeakStepsOverWeakReflectionsOnlyWhenStepping) {
    write_data_set("NWWNWN");
    G.SKIPWEAK = 1;
    std::vector<int> seen;
    while (read(0, 0, {}, -1) == 0) seen.push_back(G.NREF);
    EXPECT_EQ(seen, (std::vector<int>{1, 4, 6}));
    ASSERT_EQ(read(-1), 0);
    EXPECT_EQ(G.NREF, 4);
    ASSERT_EQ(read(-1), 0);
    EXPECT_EQ(G.NREF, 1);
    ASSERT_EQ(read(1, 3), 0);  // searching can land on a weak reflection
    EXPECT_EQ(G.RFLAG, 'W');
    ASSERT_EQ(read(2, 0, Arr1<int, 3>{{4, 1, 2}}), 0);
    EXPECT_EQ(G.NREF, 5);
}

TEST_F(StdDataTest, BadReflectionGroupsAreReadErrorsThatLeaveTheRecord) {
    const std::string good =
        "R     1   0   0   1    0.0000   20.0000   10.0000    0.0000    0.0000   3   0.02000   1.00000   0N\n"
        "S       1       2       3\n";
    auto ref = [](int npts) {
        std::ostringstream s;
        s << "R     2   0   0   2    0.0000   20.0000   10.0000    0.0000    0.0000";
        s.width(4);
        s << npts << "   0.02000   1.00000   0N\n";
        return s.str();
    };
    const std::string bad_files[] = {
        ref(501) + std::string(51, 'S') + "\n",  // more steps than a scan can hold
        ref(0),                                  // no step at all
        ref(-2),
        ref(12) + "S       1       2       3       4       5       6       7       8       9      10\n" +
            ref(3),                                   // count line missing before the next reflection
        ref(12) + "S       1       2\n",              // file ends in the counts
        ref(3) + "S       1     abc       3\n",       // non-numeric count
        "R     2   0   0   2    0.0000   2x.0000\n",  // unreadable angle
    };
    for (const std::string& bad : bad_files) {
        close_all_units();
        write_text("DATA\n" + good + bad);
        ASSERT_EQ(read(0), 0);
        EXPECT_EQ(read(0), 11) << bad;
        EXPECT_EQ(G.NREF, 1) << bad;
        EXPECT_EQ(G.NPTS, 3) << bad;
    }
}

}  // namespace
}  // namespace tarnivox
