// The intensity records read back by a real fixed-column reader: a Fortran
// program (built where gfortran is) reads the SHELX and Rfine records the
// layout writer gives for values at every overflow step of every field.
// Each value reads as the value meant within the rounding of its text;
// every record keeps its columns; a value no form of a field holds refuses
// the record instead.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "io/layout.h"
#include "output/intensity_file.h"
#include "sim_readback.h"
#include "support/scratch.h"

namespace tarnivox {
namespace {

TEST(FixedReader, EveryOverflowStepReadsBackAsTheValueMeant) {
#ifndef TARNIVOX_FIXED_READER
    GTEST_SKIP() << "no Fortran compiler: the fixed-column reader is not built";
#else
    const std::filesystem::path dir = test::make_scratch_dir("tarnivox_fixed_reader");
    std::vector<double> values;
    for (int m = -4; m <= 40; ++m)
        for (const double mantissa : {1.0, 1.23456789, 5.55555, 9.87654321, 9.99996})
            for (const double sign : {1.0, -1.0}) values.push_back(sign * mantissa * std::pow(10.0, m));
    // A record is refused only when a value has no fixed form in its field.
    const auto unfixed = [](std::initializer_list<std::pair<double, int> > fields) {
        for (const auto& [x, w] : fields)
            if (format_fixed(x, w, 0).find('*') != std::string::npos) return true;
        return false;
    };
    std::vector<sim::FixedRecord> shelx, rfine;
    int refused = 0;
    // Decimals 1 to 5 as the program chooses them; a field of no decimals
    // (the Rfine identifier, F7.0) is read as F7.0.
    for (int d = 1; d <= 5; ++d)
        for (const double v : values) {
            SCOPED_TRACE("d " + std::to_string(d) + " value " + std::to_string(v));
            const std::string s = format_record_fit(shelx_record_layout(d, 6 - d), {1, -2, 3, v, -0.37 * v});
            if (s.empty()) {
                EXPECT_TRUE(unfixed({{v, 7}, {-0.37 * v, 7}}));
                ++refused;
            } else {
                EXPECT_EQ(s.size(), 32u) << s;
                shelx.push_back({s, {v, -0.37 * v}});
            }
            const std::vector<double> meant{
                v, -v, 0.37 * v, -2.1 * v, 1.7 * v, 0.3 * v, std::round(std::fabs(v)) * 10 + 3};
            const std::string r = format_record_fit(
                rfine_record_layout(d, 6 - d), {1, 2, 3, meant[0], meant[1], meant[2], meant[3], meant[4],
                                                meant[5], meant[6], "N", "P", " ", " ", " ", " ", 0});
            if (r.empty()) {
                EXPECT_TRUE(unfixed({{meant[0], 8},
                                     {meant[1], 8},
                                     {meant[2], 8},
                                     {meant[3], 8},
                                     {meant[4], 11},
                                     {meant[5], 7},
                                     {meant[6], 7}}));
                ++refused;
            } else {
                EXPECT_EQ(r.size(), 79u) << r;
                rfine.push_back({r, meant});
            }
        }
    EXPECT_GT(refused, 0);
    for (const auto& [form, records] :
         {std::pair{sim::RecordForm::Shelx, &shelx}, std::pair{sim::RecordForm::Rfine, &rfine}}) {
        const sim::Readback back =
            sim::read_back(TARNIVOX_FIXED_READER, form, *records, (dir / "records.txt").string());
        EXPECT_EQ(back.read, back.records);
        EXPECT_EQ(back.off, 0) << back.first_off;
        EXPECT_LE(back.worst, 1.0);
    }
    std::filesystem::remove_all(dir);
#endif
}

}  // namespace
}  // namespace tarnivox
