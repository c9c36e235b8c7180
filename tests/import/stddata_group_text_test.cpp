// The reflection groups of the standard scan file are the bytes the layout
// interpreter writes for ('R',I6,3I4,5F10.4,I4,2F10.5,I4,A1) and
// ('S',10I8), including values that do not fit their fields.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/store.h"
#include "import/stddata.h"
#include "io/layout.h"
#include "io/units.h"
#include "support/scratch.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

struct Group {
    int nref = 0;
    Arr1<int, 3> hkl;
    double spare = 0.0;
    Arr1<double, 4> angles;
    int npts = 0;
    double step = 0.0, scale = 0.0;
    int isctype = 0;
    char rflag = ' ';
    std::vector<long long> counts;
};

// Mostly ordinary groups, each field now and then out of its range: an
// index of five digits, angles of 1e20 or with more decimals than written,
// scales beyond F10.5, counts beyond eight columns (divided into them) and
// below them.
Group random_group(std::mt19937_64& rng) {
    auto u = [&] { return std::uniform_real_distribution<double>(0.0, 1.0)(rng); };
    auto rare = [&] { return u() < 0.03; };
    Group g;
    g.nref = rare() ? 1234567 : static_cast<int>(u() * 999999);
    for (int k = 1; k <= 3; ++k) g.hkl(k) = rare() ? -12345 : static_cast<int>(u() * 80) - 40;
    g.spare = rare() ? -0.00004 : 0.0;
    for (int k = 1; k <= 4; ++k) {
        g.angles(k) = (u() - 0.5) * 360.0;
        if (rare()) g.angles(k) = 1.0e20;
        if (rare()) g.angles(k) = -1.0e-7;
        if (rare()) g.angles(k) = (std::floor(u() * 3600000.0) + 0.5) / 10000.0;  // a rounding case
    }
    g.npts = 1 + static_cast<int>(u() * MAXSTEPS);
    g.step = rare() ? 123456.0 : u() * 0.1;
    g.scale = rare() ? 99999.5 : std::pow(10.0, 4.0 * u() - 2.0);
    g.isctype = rare() ? 99999 : static_cast<int>(u() * 3);
    g.rflag = "WMRSFIN "[static_cast<std::size_t>(u() * 8)];
    for (int i = 0; i < g.npts; ++i) {
        long long c = static_cast<long long>(u() * u() * 50000.0);
        if (rare()) c = static_cast<long long>(u() * 5.0e9);
        if (rare()) c = -static_cast<long long>(u() * 2.0e7);
        g.counts.push_back(c);
    }
    return g;
}

// What the layout interpreter writes for the group, with the same division
// of counts that do not fit eight columns.
std::string interpreted(const Group& g, double& scale, bool& fits) {
    long long largest = 0;
    for (long long c : g.counts) largest = std::max(largest, c);
    const long long divisor = largest > MAX_STD_COUNT ? largest / (MAX_STD_COUNT + 1) + 1 : 1;
    scale = g.scale * static_cast<double>(divisor);
    std::vector<int> written;
    for (long long c : g.counts) written.push_back(static_cast<int>(std::max(c / divisor, -9999999LL - 1)));
    const std::string r = format_record(
        "('R',I6,3I4,5F10.4,I4,2F10.5,I4,A1)",
        {g.nref, g.hkl, g.spare, g.angles, g.npts, g.step, scale, g.isctype, std::string(1, g.rflag)});
    const std::string s = format_record("('S',10I8)", {std::span<const int>(written)});
    fits = r.substr(0, r.size() - 1).find('*') == std::string::npos && s.find('*') == std::string::npos;
    return r + "\n" + s + "\n";
}

TEST(StdDataGroupText, GroupsAreTheLayoutInterpretersBytesAndReadBackAsItReadsThem) {
    const fs::path dir = test::make_scratch_dir("stddata_group_text");
    const std::string path = (dir / "groups.rfl").string();
    reset_store();
    close_all_units();
    test::open_headless_window();
    std::mt19937_64 rng(4242);
    std::string expected;
    std::vector<Group> kept;
    ASSERT_EQ(open_unit(LU_SCAN, path, OpenMode::Replace), 0);
    for (int n = 0; n < 400; ++n) {
        Group g = random_group(rng);
        double scale = 0.0;
        bool fits = false;
        const std::string text = interpreted(g, scale, fits);
        EXPECT_EQ(fits_scan_record(g.nref, g.hkl, g.angles, g.npts, g.step, g.scale, g.isctype, g.counts),
                  fits)
            << n;
        int status = -1;
        double caller_scale = g.scale;
        WRITE_REF_STDDATA(LU_SCAN, status, g.nref, g.hkl, g.spare, g.angles, g.npts, g.step, caller_scale,
                          g.isctype, g.rflag, g.counts);
        ASSERT_EQ(status, fits ? 0 : 2) << n;
        if (!fits) continue;
        EXPECT_EQ(caller_scale, scale) << n;
        expected += text;
        g.scale = scale;
        kept.push_back(g);
    }
    ASSERT_EQ(close_unit(LU_SCAN), 0);
    ASSERT_EQ(test::read_text(path), expected);

    // Read back: every group as the interpreter reads its own text.
    ASSERT_EQ(open_unit(LU_SCAN, path, OpenMode::Read), 0);
    std::vector<std::string> lines = test::read_lines(path);
    std::size_t at = 0;
    for (const Group& g : kept) {
        int status = -1;
        READ_SCAN_STDDATA(LU_SCAN, 0, 0, {}, status);
        ASSERT_EQ(status, 0);
        int nref = 0, npts = 0, isctype = 0;
        Arr1<int, 3> hkl;
        Arr1<double, 4> angles;
        double spare = 0.0, step = 0.0, scale = 0.0;
        char flag = '?';
        ASSERT_EQ(read_fixed(std::string_view(lines[at]).substr(1), "(I6,3I4,5F10.4,I4,2F10.5,I4,A1)",
                             {&nref, hkl, &spare, angles, &npts, &step, &scale, &isctype, &flag}),
                  READ_OK);
        EXPECT_EQ(G.NREF, nref);
        EXPECT_EQ(G.IHKL, hkl);
        EXPECT_EQ(G.ANGLES, angles);
        EXPECT_EQ(G.STEP, step);
        EXPECT_EQ(G.SCALE, scale);
        EXPECT_EQ(G.ISCTYPE, isctype);
        EXPECT_EQ(G.RFLAG, flag);
        ASSERT_EQ(G.NPTS, g.npts);
        ++at;
        for (int first = 1; first <= g.npts; first += 10, ++at) {
            Arr1<int, 10> c;
            const int n = std::min(10, g.npts - first + 1);
            ASSERT_EQ(read_fixed(lines[at], "(1X,10I8)", {c.first(n)}), READ_OK);
            for (int k = 1; k <= n; ++k) ASSERT_EQ(G.COUNTS(first + k - 1), c(k)) << first + k - 1;
        }
    }
    close_all_units();
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tarnivox
