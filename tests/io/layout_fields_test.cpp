// The fixed-column fields written and read without the layout interpreter
// give the interpreter's text and values.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {
namespace {

// Values of every magnitude a record holds and some it cannot: exact
// halfway cases in binary (0.5, 0.125, ... at the decimal they round at),
// decimals that are not exact, zeros of both signs, tiny negatives that
// round to "-0.0000", values too wide for their field, and the values
// beyond the exact range that go to the interpreter's own formatting.
std::vector<double> awkward_values(std::mt19937_64& rng) {
    std::vector<double> v{0.0,
                          -0.0,
                          0.5,
                          -0.5,
                          2.5,
                          0.25,
                          0.125,
                          0.0625,
                          0.03125,
                          0.015625,
                          1.0e-9,
                          -1.0e-9,
                          0.00005,
                          -0.00005,
                          123.45675,
                          99999.99995,
                          999999.99995,
                          1.0e9 - 1.0,
                          1.0e9,
                          1.0e20,
                          -1.0e30,
                          std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::denorm_min()};
    std::uniform_real_distribution<double> mant(-1.0, 1.0);
    std::uniform_int_distribution<int> ex(-12, 12);
    std::uniform_int_distribution<int> k(-2000000, 2000000);
    for (int i = 0; i < 4000; ++i) {
        v.push_back(mant(rng) * std::pow(10.0, ex(rng)));
        // A decimal grid value plus or minus half a unit of the last place:
        // the cases where the exact expansion decides the rounding.
        const int d = 1 + i % 5;
        v.push_back((k(rng) + 0.5) / std::pow(10.0, d));
    }
    return v;
}

TEST(LayoutFields, AppendedFieldsAreTheLayoutWritersText) {
    std::mt19937_64 rng(97);
    const std::vector<double> values = awkward_values(rng);
    for (int d = 0; d <= 7; ++d) {
        for (int w : {1, 4, 10, 20}) {
            for (double x : values) {
                std::string got = "x";
                append_fixed(got, x, w, d);
                ASSERT_EQ(got, "x" + format_fixed(x, w, d)) << x << " F" << w << "." << d;
            }
        }
    }
    std::uniform_int_distribution<long long> wide(-99999999999LL, 99999999999LL);
    std::vector<long long> ints{0,
                                -1,
                                1,
                                9999,
                                -999,
                                10000,
                                -1000,
                                std::numeric_limits<long long>::max(),
                                std::numeric_limits<long long>::min() + 1};
    for (int i = 0; i < 20000; ++i) ints.push_back(wide(rng) >> (i % 40));
    for (int w : {1, 4, 6, 8, 12}) {
        for (long long x : ints) {
            std::string got;
            append_int(got, x, w);
            ASSERT_EQ(got, format_int(x, w)) << x << " I" << w;
        }
    }
}

TEST(LayoutFields, PlainFieldsReadAsTheLayoutReaderReadsThemAndOthersAreLeftToIt) {
    std::mt19937_64 rng(98);
    for (double x : awkward_values(rng)) {
        for (int d : {0, 3, 4, 5}) {
            const std::string f = format_fixed(x, 12, d);
            double fast = -7.0, slow = -7.0;
            const bool plain = read_fixed_field(f, fast);
            const int st = read_fixed(f, "(F12." + std::to_string(d) + ")", {&slow});
            if (f.find('*') != std::string::npos) {
                EXPECT_FALSE(plain) << f;
                continue;
            }
            ASSERT_TRUE(plain) << '"' << f << '"';  // every written number takes the fast path
            ASSERT_EQ(st, READ_OK) << f;
            ASSERT_EQ(std::signbit(fast), std::signbit(slow)) << f;
            ASSERT_EQ(fast, slow) << f;
        }
    }
    std::uniform_int_distribution<int> count(-9999999, 99999999);
    for (int i = 0; i < 20000; ++i) {
        const std::string f = format_int(count(rng), 8);
        int fast = -7, slow = -7;
        ASSERT_TRUE(read_int_field(f, fast)) << f;
        ASSERT_EQ(read_fixed(f, "(I8)", {&slow}), READ_OK);
        ASSERT_EQ(fast, slow) << f;
    }
    // Blank fields are zero, as in the interpreter.
    int i = 5;
    double r = 5.0;
    EXPECT_TRUE(read_int_field("        ", i));
    EXPECT_TRUE(read_fixed_field("          ", r));
    EXPECT_EQ(i, 0);
    EXPECT_EQ(r, 0.0);
    // Forms the fast fields leave to the interpreter, value untouched:
    // blanks inside a number, exponents, implied decimals, a lone sign,
    // text, a count beyond an int.
    for (const char* f :
         {"  1 2", "1.5E3", " 12345", "    -", "   +", "  abc", "1.2.3", "9999999999", "1\t2"}) {
        int iv = 3;
        double rv = 3.0;
        const bool as_int = read_int_field(f, iv);
        const bool as_real = read_fixed_field(f, rv);
        EXPECT_FALSE(as_real) << f;
        if (!as_int) {
            EXPECT_EQ(iv, 3) << f;
        }
        EXPECT_EQ(rv, 3.0) << f;
    }
    EXPECT_FALSE(read_int_field("  1 2", i));
    EXPECT_FALSE(read_int_field("    -", i));
    EXPECT_FALSE(read_int_field("9999999999", i));
}

}  // namespace
}  // namespace tarnivox
