// The import driver's header step across two imports of one run: a matrix
// is moved to the Busing-Levy axes once, when a header supplies it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/store.h"
#include "import/convert.h"
#include "io/units.h"
#include "ui/graphics.h"
#include "ui/toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

class ImportHeaderFaults : public ::testing::Test {
protected:
    void SetUp() override {
        reset_store();
        close_all_units();
        set_toolkit_backend(ScriptBackend::from_text(""));
        GRAPHICS_SETUP();
        dir_ = fs::temp_directory_path() /
               ("tarnivox_hdr_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        close_all_units();
        fs::remove_all(dir_);
    }
    void open_input(const std::string& name, const std::string& text) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path) << text;
        ASSERT_EQ(open_unit(LU_INPUT, path, OpenMode::Read), 0);
    }
    fs::path dir_;
};

TEST_F(ImportHeaderFaults, KnownMatrixIsNotMovedAgainByHeaderWithoutOne) {
    G.BLAXES = Arr1<int, 3>{{2, -1, 3}};
    // Xcalibur header: wavelengths, then a matrix in the instrument's axes
    // (times the wavelength, as the instrument writes it).
    open_input("a.dca",
               "P wl 0.5 0.5\n"
               "U        0.05        0.00        0.00\n"
               "U        0.00        0.10        0.00\n"
               "U        0.00        0.00        0.15\n"
               "# first reflection\n");
    G.INFMT = 3;
    int status = 0;
    READ_HEADER(status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(G.UBFLAG, 1);
    // Row 1 of the file goes to row 2, row 2 to row 1 negated.
    EXPECT_DOUBLE_EQ(G.UB(2, 1), 0.1);
    EXPECT_DOUBLE_EQ(G.UB(1, 2), -0.2);
    EXPECT_DOUBLE_EQ(G.UB(3, 3), 0.3);
    const Arr2<double, 3, 3> moved = G.UB;

    // A STOE file of the same run brings no matrix: the known one stays.
    open_input("b.d00", "TITL second file\nWAVE 0 0.7093 0.7136\nDATA\n");
    G.INFMT = 5;
    status = 0;
    READ_HEADER(status);
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(G.UB == moved);
}

}  // namespace
}  // namespace tarnivox
