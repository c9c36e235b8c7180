// Property: a data set written with the standard scan file writer and
// walked with every mode of the reader gives back exactly what was written
// (counts above eight columns come back divided, with the factor in SCALE).

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/store.h"
#include "import/stddata.h"
#include "io/units.h"
#include "support/scratch.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

struct Written {
    int nref;
    Arr1<int, 3> hkl;
    Arr1<double, 4> angles;
    int npts;
    double step;
    double scale;  // as written, after any division of the counts
    int isctype;
    char rflag;
    std::vector<long long> counts;  // as written
};

// A random data set; every reflection has its own indices so that a search
// by indices finds exactly one.
std::vector<Written> random_data_set(std::mt19937& rng, int n) {
    std::uniform_int_distribution<int> npts(1, MAXSTEPS);
    std::uniform_int_distribution<int> angle(-1800000, 1800000);  // 1/10000 degree
    std::uniform_int_distribution<int> step(1, 20000);            // 1/100000 degree
    std::uniform_int_distribution<int> flag(0, 6);
    std::uniform_int_distribution<long long> count(0, MAX_STD_COUNT);
    std::uniform_int_distribution<int> huge(0, 9);
    std::vector<Written> set;
    for (int r = 1; r <= n; ++r) {
        Written w;
        w.nref = r;
        w.hkl = Arr1<int, 3>{{r % 17 - 8, r / 17 - 5, r % 3}};
        for (int i = 1; i <= 4; ++i) w.angles(i) = angle(rng) / 10000.0;
        w.npts = npts(rng);
        w.step = step(rng) / 100000.0;
        w.scale = 1.25;
        w.isctype = r % 11 == 0 ? 1 : 0;
        w.rflag = "WMRSFIN"[flag(rng)];
        for (int i = 0; i < w.npts; ++i) w.counts.push_back(count(rng));
        if (huge(rng) == 0) w.counts[static_cast<std::size_t>(w.npts / 2)] = 3 * MAX_STD_COUNT + 5;
        set.push_back(w);
    }
    return set;
}

void expect_current_is(const Written& w) {
    ASSERT_EQ(G.NREF, w.nref);
    EXPECT_EQ(G.IHKL, w.hkl);
    EXPECT_EQ(G.ANGLES, w.angles);
    ASSERT_EQ(G.NPTS, w.npts);
    EXPECT_EQ(G.STEP, w.step);
    EXPECT_EQ(G.SCALE, w.scale);
    EXPECT_EQ(G.ISCTYPE, w.isctype);
    EXPECT_EQ(G.RFLAG, w.rflag);
    for (int i = 1; i <= w.npts; ++i)
        ASSERT_EQ(G.COUNTS(i), static_cast<double>(w.counts[static_cast<std::size_t>(i - 1)])) << i;
}

class StdDataRoundTrip : public ::testing::TestWithParam<unsigned> {
protected:
    void SetUp() override {
        reset_store();
        close_all_units();
        test::open_headless_window();  // the reader hides the wait box at the end of the data
        path_ = (fs::temp_directory_path() / ("tarnivox_roundtrip_" + std::to_string(::getpid()) + "_" +
                                              std::to_string(GetParam()) + ".rfl"))
                    .string();
    }
    void TearDown() override {
        close_all_units();
        fs::remove(path_);
    }
    int read(int mode, int nref = 0, Arr1<int, 3> hkl = {}) {
        int status = -1;
        READ_SCAN_STDDATA(LU_SCAN, mode, nref, hkl, status);
        return status;
    }
    std::string path_;
};

TEST_P(StdDataRoundTrip, EveryModeReturnsWhatWasWritten) {
    std::mt19937 rng(GetParam());
    std::vector<Written> set = random_data_set(rng, 1 + static_cast<int>(rng() % 40));

    ASSERT_EQ(open_unit(LU_SCAN, path_, OpenMode::Replace), 0);
    WRITE_HEADER_STDDATA(LU_SCAN);
    for (Written& w : set) {
        int status = 1;
        WRITE_REF_STDDATA(LU_SCAN, status, w.nref, w.hkl, 0.0, w.angles, w.npts, w.step, w.scale, w.isctype,
                          w.rflag, w.counts);
        ASSERT_EQ(status, 0);
        long long largest = 0;
        for (long long c : w.counts) largest = std::max(largest, c);
        if (largest > MAX_STD_COUNT) {
            const long long d = largest / (MAX_STD_COUNT + 1) + 1;
            EXPECT_EQ(w.scale, 1.25 * static_cast<double>(d));
            for (long long& c : w.counts) c /= d;
        }
    }

    int status = 0;
    SKIP_HEADER_STDDATA(LU_SCAN, status);
    ASSERT_EQ(status, 0);
    for (const Written& w : set) {
        ASSERT_EQ(read(0), 0);
        expect_current_is(w);
    }
    EXPECT_EQ(read(0), 12);
    for (std::size_t i = set.size(); i-- > 1;) {  // back from the last to the first
        ASSERT_EQ(read(-1), 0);
        expect_current_is(set[i - 1]);
    }
    EXPECT_EQ(read(-1), 0);  // at the first: nothing moves
    expect_current_is(set.front());

    for (int trial = 0; trial < 10; ++trial) {
        const Written& w = set[rng() % set.size()];
        ASSERT_EQ(read(1, w.nref), 0);
        expect_current_is(w);
        const Written& v = set[rng() % set.size()];
        ASSERT_EQ(read(2, 0, v.hkl), 0);
        expect_current_is(v);
        if (v.nref < static_cast<int>(set.size())) {  // stepping on from a found reflection
            ASSERT_EQ(read(0), 0);
            expect_current_is(set[static_cast<std::size_t>(v.nref)]);
        }
    }

    // Skipping weak reflections: forward steps give the others in order.
    G.SKIPWEAK = 1;
    SKIP_HEADER_STDDATA(LU_SCAN, status);
    std::vector<int> expected, seen;
    for (const Written& w : set)
        if (w.rflag != 'W') expected.push_back(w.nref);
    while (read(0) == 0) seen.push_back(G.NREF);
    EXPECT_EQ(seen, expected);
}

INSTANTIATE_TEST_SUITE_P(Seeds, StdDataRoundTrip, ::testing::Range(1u, 41u));

}  // namespace
}  // namespace tarnivox
