#include "operations/scan_walk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/store.h"
#include "import/stddata.h"
#include "io/units.h"
#include "support/scan_file.h"
#include "support/scratch.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

// Four reflections of five steps on the standard scan file.
class ScanWalk : public ::testing::Test {
protected:
    void SetUp() override {
        reset_store();
        test::open_headless_window();
        path_ = ::testing::TempDir() + "scan_walk.rfl";
        ASSERT_EQ(open_unit(G.LUSCR, path_, OpenMode::Replace), 0);
        WRITE_HEADER_STDDATA(G.LUSCR);
        const std::vector<long long> counts = {5, 9, 30, 9, 5};
        for (int n = 1; n <= 4; ++n) {
            const Arr1<double, 4> ang{{10.0 * n, 0.0, 0.0, 0.0}};
            ASSERT_EQ(test::write_scan_record(G.LUSCR, n, Arr1<int, 3>{{n, 0, 0}}, ang, counts), 0);
        }
    }
    void TearDown() override { close_unit(G.LUSCR); }
    std::string path_;
};

TEST_F(ScanWalk, VisitsEveryReflectionInOrderThenRewindsWithoutBoxes) {
    std::vector<int> seen;
    walk_reflections([&] {
        seen.push_back(G.NREF);
        return true;
    });
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4}));
    // No "End of File" box on a whole-file pass.
    for (const auto& e : script_backend()->events()) EXPECT_NE(e.text, "End of File");
    // The next read starts at the first reflection again.
    EXPECT_EQ(read_reflection(0, 0, Arr1<int, 3>{}, true), 0);
    EXPECT_EQ(G.NREF, 1);
}

TEST_F(ScanWalk, StopsWhenTheVisitSaysSoAndStillRewinds) {
    int visits = 0;
    walk_reflections([&] { return ++visits < 2; });
    EXPECT_EQ(visits, 2);
    EXPECT_EQ(read_reflection(0, 0, Arr1<int, 3>{}, true), 0);
    EXPECT_EQ(G.NREF, 1);
}

TEST_F(ScanWalk, ReadsEndAtTheEndOfTheFileAndOnAMissingReflection) {
    int status = 0;
    SKIP_HEADER_STDDATA(G.LUSCR, status);
    for (int n = 1; n <= 4; ++n) {
        status = read_reflection(0, 0, Arr1<int, 3>{}, true);
        EXPECT_EQ(status, 0);
        EXPECT_FALSE(ends_walk(status));
        EXPECT_TRUE(have_reflection());
    }
    status = read_reflection(0, 0, Arr1<int, 3>{}, true);
    EXPECT_EQ(status, 12);
    EXPECT_TRUE(ends_walk(status));
    // A reflection that is not in the data set does not end a walk.
    status = read_reflection(1, 9, Arr1<int, 3>{}, true);
    EXPECT_EQ(status, 13);
    EXPECT_FALSE(ends_walk(status));
}

}  // namespace
}  // namespace tarnivox
