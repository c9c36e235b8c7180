// The standard scan file in awkward places: stepping back in a data set
// that holds no reflection at all, and a header whose orientation rows are
// zeros read after a matrix was known.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/store.h"
#include "import/stddata.h"
#include "io/units.h"
#include "support/scratch.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

class StdDataWalkFaults : public ::testing::Test {
protected:
    void SetUp() override {
        reset_store();
        close_all_units();
        test::open_headless_window();
        dir_ = test::make_scratch_dir("tarnivox_walk");
        path_ = (dir_ / "scan.rfl").string();
    }
    void TearDown() override {
        close_all_units();
        fs::remove_all(dir_);
    }
    fs::path dir_;
    std::string path_;
};

// A data set imported from an instrument file without reflections: the
// file ends at its DATA line.  A step back must find no reflection and say
// so at once, not walk the header for ever.
TEST_F(StdDataWalkFaults, StepBackInEmptyDataSetEndsAtOnce) {
    ASSERT_EQ(open_unit(LU_SCAN, path_, OpenMode::Replace), 0);
    WRITE_HEADER_STDDATA(LU_SCAN);
    flush_unit(LU_SCAN);
    int status = 0;
    SKIP_HEADER_STDDATA(LU_SCAN, status);
    ASSERT_EQ(status, 0);
    const Arr1<int, 3> none;
    status = -1;
    READ_SCAN_STDDATA(LU_SCAN, 0, 0, none, status);
    ASSERT_EQ(status, 12);

    G.NREF = 0;  // what the import leaves when nothing was read
    status = -1;
    READ_SCAN_STDDATA(LU_SCAN, -1, 0, none, status);
    EXPECT_EQ(status, 12);  // a walk through the header would end with 11
    // And forward again: still the end of the data.
    status = -1;
    READ_SCAN_STDDATA(LU_SCAN, 0, 0, none, status);
    EXPECT_EQ(status, 12);
}

// A data set written before its orientation was known carries U lines of
// zeros.  Opening it later in the run keeps the matrix the run already has
// (UBFLAG stays 1 across imports) instead of a zero matrix marked known.
TEST_F(StdDataWalkFaults, ZeroOrientationRowsKeepKnownMatrix) {
    G.UBFLAG = 1;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) G.UB(i, j) = i == j ? 0.1 * i : 0.0;
    std::ofstream(path_) << "H\nT old data\nH\nH\nH\nU 0 0 0\nU 0 0 0\nU 0 0 0\nA 1.0\nDATA\n";
    ASSERT_EQ(open_unit(LU_SCAN, path_, OpenMode::Read), 0);
    int status = 0;
    READ_HEADER_STDDATA(LU_SCAN, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(G.UBFLAG, 1);
    EXPECT_DOUBLE_EQ(G.UB(1, 1), 0.1);
    EXPECT_DOUBLE_EQ(G.UB(3, 3), 0.3);

    // Without a matrix from before, zero rows give none.
    reset_store();
    rewind_unit(LU_SCAN);
    READ_HEADER_STDDATA(LU_SCAN, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(G.UBFLAG, 0);
}

}  // namespace
}  // namespace tarnivox
