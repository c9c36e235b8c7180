// Walking the standard scan file in awkward places: stepping back in a data
// set that holds no reflection at all.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "core/store.h"
#include "import/stddata.h"
#include "io/units.h"
#include "ui/graphics.h"
#include "ui/toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

class StdDataWalkFaults : public ::testing::Test {
protected:
    void SetUp() override {
        reset_store();
        close_all_units();
        set_toolkit_backend(ScriptBackend::from_text(""));
        GRAPHICS_SETUP();
        dir_ = fs::temp_directory_path() /
               ("tarnivox_walk_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
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
    const auto start = std::chrono::steady_clock::now();
    status = -1;
    READ_SCAN_STDDATA(LU_SCAN, -1, 0, none, status);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(status, 12);
    EXPECT_LT(took, std::chrono::seconds(2));
    // And forward again: still the end of the data.
    status = -1;
    READ_SCAN_STDDATA(LU_SCAN, 0, 0, none, status);
    EXPECT_EQ(status, 12);
}

}  // namespace
}  // namespace tarnivox
