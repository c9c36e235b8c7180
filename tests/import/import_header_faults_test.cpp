// The import driver's header step across two imports of one run (a matrix
// is moved to the Busing-Levy axes once, when a header supplies it), and
// reflections an instrument file gives no usable scale for.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/store.h"
#include "import/convert.h"
#include "import/xscans.h"
#include "io/layout.h"
#include "io/units.h"
#include "support/scratch.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

// Xcalibur header: wavelengths, then a matrix in the instrument's axes
// (times the wavelength, as the instrument writes it).
constexpr char kXcaliburHeaderWithMatrix[] =
    "P sc s    1.000 sc w   1.200  0.500   1.0000\n"
    "P mo s       64\n"
    "P wl 0.5 0.5\n"
    "U        0.05        0.00        0.00\n"
    "U        0.00        0.10        0.00\n"
    "U        0.00        0.00        0.15\n"
    "# first reflection\n";

class ImportHeaderFaults : public ::testing::Test {
protected:
    void SetUp() override {
        reset_store();
        close_all_units();
        test::open_headless_window();
        dir_ = test::make_scratch_dir("tarnivox_hdr");
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
    open_input("a.dca", kXcaliburHeaderWithMatrix);
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
    open_input("b.d00", "TITL second file\nWAVE 0 0.7093 0.7136\nSCAN 0.8 0.5 0.02\nDATA\n");
    G.INFMT = 5;
    status = 0;
    READ_HEADER(status);
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(G.UB == moved);
}

// A BLAXES that passes the sum check but is no permutation leaves the
// supplied matrix as it is and tells the user so.
TEST_F(ImportHeaderFaults, MatrixThatCannotBeMovedIsAnnounced) {
    G.BLAXES = Arr1<int, 3>{{1, 1, 4}};
    open_input("a.dca", kXcaliburHeaderWithMatrix);
    G.INFMT = 3;
    int status = 0;
    READ_HEADER(status);
    ASSERT_EQ(status, 0);
    EXPECT_DOUBLE_EQ(G.UB(1, 1), 0.1);
    EXPECT_DOUBLE_EQ(G.UB(2, 2), 0.2);
    const auto& events = script_backend()->events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().text, "BLAXES is not a permutation of 1 2 3: orientation matrix not converted");
}

// An XSCANS scan speed of 0 gives no scale for an ordinary reflection: it is
// left out (13) rather than written with a scale of 0.  A standard's scale
// is 1 whatever the speed.
TEST_F(ImportHeaderFaults, XscansReflectionWithoutSpeedIsLeftOut) {
    G.NPTS = 3;
    G.NSTD = 1;
    G.STDHKL(1, 1) = 2;
    const auto line = [](int seq, int h, double speed) {
        return format_record("(1X,I6,3I4,4F8.2,F5.2,F8.2)", {seq, h, 0, 0, 10.0, 5.0, 0.0, 0.0, 1.0, speed}) +
               "\n1 2 3\n";
    };
    open_input("a.p4t", line(1, 1, 0.0) + line(2, 1, -2.0) + line(-3, 2, 0.0) + line(4, 1, 2.0));
    int status = 0;
    READ_SCAN_XSCANS(status);
    EXPECT_EQ(status, 13);
    READ_SCAN_XSCANS(status);
    EXPECT_EQ(status, 13);
    READ_SCAN_XSCANS(status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(G.RFLAG, 'I');
    EXPECT_DOUBLE_EQ(G.SCALE, 1.0);
    READ_SCAN_XSCANS(status);
    EXPECT_EQ(status, 0);
    EXPECT_DOUBLE_EQ(G.SCALE, 2.0);
}

}  // namespace
}  // namespace tarnivox
