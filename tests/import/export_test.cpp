// The scan export file and the conversion of the data set to a standard
// data file (command 319).
#include "import/export.h"

#include <algorithm>

#include "core/store.h"
#include "import/stddata.h"
#include "import_fixture.h"
#include "io/units.h"
#include "support/scan_file.h"
#include "support/scratch.h"
#include "ui/files.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox::importtest {
namespace {

using test::read_text;

// A standard data file of three reflections: N, W, N; the first with a
// count beyond eight columns.
void write_small_set(const std::string& file) {
    ASSERT_EQ(open_unit(LU_EXP, file, OpenMode::Replace), 0);
    G.TITLE = "export case";
    WRITE_HEADER_STDDATA(LU_EXP);
    const char flags[] = {'N', 'W', 'N'};
    for (int r = 1; r <= 3; ++r) {
        std::vector<long long> counts(12, 10 * r);
        if (r == 1) counts[6] = 150000000;
        Arr1<int, 3> hkl{{r, 0, 1}};
        Arr1<double, 4> ang{{10.0 * r, 0.0, 5.0, 6.0}};
        test::write_scan_record(LU_EXP, r, hkl, ang, counts, flags[r - 1]);
    }
    close_unit(LU_EXP);
}

bool shown(const std::string& text) {
    const auto& ev = script_backend()->events();
    return std::any_of(ev.begin(), ev.end(), [&](const ScriptEvent& e) { return e.text == text; });
}

TEST_F(ImportTest, ExportingTheSameScanTwiceAppendsTwoIdenticalBlocks) {
    fresh_run("browse profile.dat\ncancel\n");
    G.IHKL = Arr1<int, 3>{{1, -2, 3}};
    G.NPTS = 2;
    G.STEPANG(1) = 10.0;
    G.STEPANG(2) = 10.02;
    G.COUNTS(1) = 5.0;
    G.COUNTS(2) = 1234.0;
    G.YCALC(2) = 1200.25;
    EXPECT_EQ(EXPORT_SCAN(path("profile.dat")), 0);
    EXPORT_SCAN();  // the window's command, to the file chosen in its dialog
    const std::string block =
        " PROFILE FOR REFLECTION HKL =     1   -2    3\n"
        "   OMEGA       OBS   COUNTS    CALC\n"
        "    10.000,       5.0,       0.0\n"
        "    10.020,    1234.0,    1200.3\n";
    EXPECT_EQ(read_text(path("profile.dat")), block + block);
    EXPORT_SCAN();
    EXPECT_TRUE(shown("Data file not opened"));
    // A file that cannot be opened gets nothing, and says so.
    EXPECT_EQ(EXPORT_SCAN(dir_.string()), 1);
}

TEST_F(ImportTest, ConversionWritesScaledCountsAndLeavesOutWeakWhenSkipping) {
    write_small_set(path("set.rfl"));
    fresh_run("file copy.rfl\n");
    import_file(path("set.rfl"), 1);
    G.SKIPWEAK = 1;
    CONVERT_TO_STD();
    EXPECT_TRUE(shown("End of File"));
    EXPECT_TRUE(shown("Standard data file written successfully"));
    EXPECT_EQ(G.NREF, 3);  // the current record holds the last reflection copied

    fresh_run();
    import_file(path("copy.rfl"), 1);
    const auto got = walk_scan_file();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].nref, 1);
    EXPECT_EQ(got[1].nref, 3);
    EXPECT_EQ(got[0].counts[6], 75000000);
    EXPECT_DOUBLE_EQ(got[0].scale, 2.0);
    EXPECT_EQ(std::string(G.TITLE.str()), "  EXPORT CASE");  // each trip through a T line adds a blank
}

TEST_F(ImportTest, ConversionWithoutAFileShowsTheOpeningError) {
    write_small_set(path("set.rfl"));
    fresh_run("cancel\n");
    import_file(path("set.rfl"), 1);
    CONVERT_TO_STD();
    EXPECT_TRUE(shown("Error opening file: Try again"));
    EXPECT_FALSE(shown("Standard data file written successfully"));
}

}  // namespace
}  // namespace tarnivox::importtest
