// Rescaling a finished intensity file (the decay correction): records keep
// their layouts, I and sigma take the decimals the writer would give them,
// SHELX records are placed in the run by indices and intensity, and a file
// that cannot be placed whole is left as it was.
#include "output/intensity_rescale.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "output/formats.h"
#include "output_test_files.h"
#include "support/scratch.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;
using testing_output::slurp;

const std::string DC = " 0.12345-0.54321 0.11111 0.22222-0.33333 0.44444";
const std::string SHELX_1 = "   1  -2   3 123.400 2.50000   1" + DC;
const std::string SHELX_3 = "   0   0   4 -5.0000 999999.   1" + DC;  // esd too wide: the mark
const std::string SHELX_4 = "   2   1   0 600000. 900.000   1" + DC;
// Rfine extended: the record, then the profile as fitted.
const std::string RFINE_1 = "  1 -2  3 20.5000  0.0123  45.250-120.500 1234.500000 12.5000    11.  SF      3";
const std::string RFINE_2 = "  0  0  4 30.0000  0.0000  10.000  20.000 600000000.0 600000.    22.  SF      3";
const std::string FACTORS = "FACTORS       0.0500    1.1000    1.0000    0.0200";
const std::string PARAMETERS = "PARAMETERS   20.0000    0.2000  500.0000    0.0100    0.4000    0.5000";
const std::string SIGMAS = "SIGMAS        1.0000    0.0100   10.0000    0.0010    0.0500    0.0000   11.0000";

// The run as the SHELX file was written from it: reflection 2 was refused
// by the writer and has no record.
const std::vector<WrittenReflection> SHELX_RUN = {
    {1, {1, -2, 3}, 123.4}, {2, {5, 5, 5}, 77.0}, {3, {0, 0, 4}, -5.0}, {4, {2, 1, 0}, 600000.0}};

class IntensityRescale : public ::testing::Test {
protected:
    void SetUp() override {
        close_all_units();
        dir_ = test::make_scratch_dir("tarnivox_rescale");
    }
    void TearDown() override {
        close_all_units();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string file(const std::string& name, const std::vector<std::string>& lines) const {
        const fs::path p = dir_ / name;
        std::ofstream out(p, std::ios::binary);
        for (const auto& l : lines) out << l << '\n';
        return p.string();
    }
    fs::path dir_;
};

TEST_F(IntensityRescale, UnitFactorLeavesEveryFormByteIdentical) {
    const auto one = [](int) { return 1.0; };
    const std::string shelx = file("a.hkl", {SHELX_1, SHELX_3, SHELX_4});
    const std::string before = slurp(shelx);
    RescaleResult r = rescale_intensity_file(shelx, INTFMT_SHELX, SHELX_RUN, one);
    EXPECT_EQ(r.status, 0) << r.failure;
    EXPECT_EQ(r.rescaled, 3);
    EXPECT_EQ(slurp(shelx), before);

    const std::string rfine = file("a.int", {RFINE_1, FACTORS, PARAMETERS, SIGMAS, RFINE_2, FACTORS, PARAMETERS, SIGMAS});
    const std::string rfine_before = slurp(rfine);
    r = rescale_intensity_file(rfine, INTFMT_RFINE_EXTENDED, {}, one);
    EXPECT_EQ(r.status, 0) << r.failure;
    EXPECT_EQ(r.rescaled, 2);
    EXPECT_EQ(slurp(rfine), rfine_before);
    EXPECT_FALSE(fs::exists(rfine + ".partial"));
}

TEST_F(IntensityRescale, ScaledValuesTakeTheWritersDecimalsInTheirColumns) {
    // SHELX: matched by order, indices and intensity; the refused
    // reflection 2 is passed over.  The mark of an unusable esd stays; a
    // value that no longer fits F7 leaves its reflection out, named.
    const std::map<int, double> by_seq = {{1, 10.0}, {2, 99.0}, {3, 1.5}, {4, 2.0}};
    const std::string shelx = file("b.hkl", {SHELX_1, SHELX_3, SHELX_4});
    RescaleResult r = rescale_intensity_file(shelx, INTFMT_SHELX, SHELX_RUN, [&](int s) { return by_seq.at(s); });
    ASSERT_EQ(r.status, 0) << r.failure;
    EXPECT_EQ(r.rescaled, 2);
    ASSERT_EQ(r.dropped.size(), 1u);
    EXPECT_EQ(r.dropped[0], "Output format exceeded, reflection    4 not written");
    EXPECT_DOUBLE_EQ(r.factor_min, 1.5);
    EXPECT_DOUBLE_EQ(r.factor_max, 10.0);
    EXPECT_EQ(slurp(shelx), "   1  -2   3 1234.00 25.0000   1" + DC + "\n" +  //
                                "   0   0   4 -7.5000 999999.   1" + DC + "\n");

    // Rfine extended: placed by the identifier NREF*10 + standard; the
    // fitted profile lines stay, and leave with a record that is dropped.
    const std::string rfine = file("b.int", {RFINE_1, FACTORS, PARAMETERS, SIGMAS, RFINE_2, FACTORS, PARAMETERS, SIGMAS});
    std::vector<int> asked;
    r = rescale_intensity_file(rfine, INTFMT_RFINE_EXTENDED, {}, [&](int s) {
        asked.push_back(s);
        return 2.0;
    });
    ASSERT_EQ(r.status, 0) << r.failure;
    EXPECT_EQ(asked, (std::vector<int>{1, 2}));
    EXPECT_EQ(r.rescaled, 1);
    ASSERT_EQ(r.dropped.size(), 1u);
    EXPECT_EQ(slurp(rfine), "  1 -2  3 20.5000  0.0123  45.250-120.500 2469.000000 25.0000    11.  SF      3\n" +
                                FACTORS + "\n" + PARAMETERS + "\n" + SIGMAS + "\n");
}

TEST_F(IntensityRescale, FileLeftAsItWasWhenItCannotBePlacedWhole) {
    const auto factor = [](int) { return 1.1; };
    // A record the run did not write (indices or intensity differ), a
    // record out of the run's order, a line that is no record, a factor
    // that is none: nothing changes and nothing is left beside the file.
    const std::vector<std::vector<std::string>> files = {
        {SHELX_1, "   9   9   9 123.400 2.50000   1" + DC},
        {SHELX_1, "   0   0   4 -5.1000 999999.   1" + DC},
        {SHELX_3, SHELX_1},
        {SHELX_1, "garbage"},
    };
    for (std::size_t n = 0; n < files.size(); ++n) {
        const std::string path = file("c" + std::to_string(n) + ".hkl", files[n]);
        const std::string before = slurp(path);
        const RescaleResult r = rescale_intensity_file(path, INTFMT_SHELX, SHELX_RUN, factor);
        EXPECT_EQ(r.status, 1) << n;
        EXPECT_FALSE(r.failure.empty()) << n;
        EXPECT_EQ(slurp(path), before) << n;
        EXPECT_FALSE(fs::exists(path + ".partial")) << n;
    }
    const std::string path = file("d.hkl", {SHELX_1});
    const RescaleResult r =
        rescale_intensity_file(path, INTFMT_SHELX, SHELX_RUN, [](int) { return std::numeric_limits<double>::quiet_NaN(); });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(slurp(path), SHELX_1 + "\n");
    EXPECT_EQ(rescale_intensity_file((dir_ / "missing.hkl").string(), INTFMT_SHELX, SHELX_RUN, factor).status, 1);
}

}  // namespace
}  // namespace tarnivox
