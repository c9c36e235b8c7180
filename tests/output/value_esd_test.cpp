#include "output/value_esd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace tarnivox {
namespace {

// The value(esd) text without its blank padding; the value as rounded.
std::string formatted(double value, double esd, double* rounded = nullptr) {
    std::string text;
    FORMAT_VALUE(value, esd, text);
    EXPECT_GE(text.size(), 20u);
    if (rounded) *rounded = value;
    const std::size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

TEST(ValueEsd, TextsOfCrystallographicReports) {
    double v = 0.0;
    EXPECT_EQ(formatted(12.3456, 0.0023, &v), "12.346(3)");
    EXPECT_DOUBLE_EQ(v, 12.346);
    EXPECT_EQ(formatted(12.3456, 0.0015), "12.3456(15)");
    EXPECT_EQ(formatted(5.0, 0.01), "5.000(10)");
    EXPECT_EQ(formatted(-0.5, 0.02), "-0.50(2)");
    EXPECT_EQ(formatted(0.04, 0.0019), "0.0400(19)");
    // An exact value: (F8.4,4X), the rest of the 20 columns blank.
    std::string text;
    double exact = 1.5;
    FORMAT_VALUE(exact, 0.0, text);
    EXPECT_EQ(text, "  1.5000" + std::string(12, ' '));
    exact = 90.0;
    FORMAT_VALUE(exact, 1.0e-7, text);
    EXPECT_EQ(text, " 90.0000" + std::string(12, ' '));
}

// Each esd k 10^-m keeps its digits: scaling it by ten in binary must not
// raise the last digit (0.07 would otherwise print as (8)).
TEST(ValueEsd, DecimalEsdsKeepTheirDigits) {
    for (int m = 1; m <= 6; ++m)
        for (int k = 1; k <= 99; ++k) {
            double s = k * std::pow(10.0, -m);
            if (s >= 1.0) continue;
            int ndp = 0, iesd = 0, ndig = 0;
            const double esd = s;
            ROUND_SIGMA(s, ndp, iesd, ndig);
            // One significant digit, two for leading digits of 19 or less
            // (an esd of 1 at the first digit becomes 10 at the next).
            const int expected = k == 1 ? 10 : k < 10 ? k : k <= 19 ? k : (k + 9) / 10;
            EXPECT_EQ(iesd, expected) << "esd " << esd;
            EXPECT_EQ(ndig, expected > 9 ? 2 : 1) << "esd " << esd;
            EXPECT_NEAR(s, iesd * std::pow(10.0, -ndp), 1e-15) << "esd " << esd;
            EXPECT_GE(s, esd * (1.0 - 1e-12)) << "the rounded esd is never smaller";
        }
}

// An esd of 1 or more keeps the same rule at the units, tens, ... place:
// the text is never blank (a CIF _cell_volume of 2345.6 with esd 1.5).
TEST(ValueEsd, EsdsOfOneOrMoreGiveWholeUnits) {
    double v = 0.0;
    EXPECT_EQ(formatted(2345.6, 1.5), "2345.6(15)");
    EXPECT_EQ(formatted(2345.6, 1.0), "2345.6(10)");
    EXPECT_EQ(formatted(2345.6, 3.0, &v), "2346(3)");
    EXPECT_DOUBLE_EQ(v, 2346.0);
    EXPECT_EQ(formatted(2345.6, 19.0), "2346(19)");
    EXPECT_EQ(formatted(2345.6, 25.0, &v), "2350(30)");
    EXPECT_DOUBLE_EQ(v, 2350.0);
    EXPECT_EQ(formatted(2345.6, 150.0), "2350(150)");
    EXPECT_EQ(formatted(-12.4, 2.0), "-12(2)");
    int ndp = 9, iesd = 0, ndig = 0;
    double s = 25.0;
    ROUND_SIGMA(s, ndp, iesd, ndig);
    EXPECT_EQ(ndp, -1);
    EXPECT_EQ(iesd, 3);
    EXPECT_DOUBLE_EQ(s, 30.0);
}

// More than 9 columns for the number: the run-time width takes two
// digits, and nothing is cut or written as asterisks.
TEST(ValueEsd, WideValuesComeOutWhole) {
    EXPECT_EQ(formatted(12345.6789, 0.0012), "12345.6789(12)");
    EXPECT_EQ(formatted(-12345.6789, 0.0012), "-12345.6789(12)");
    EXPECT_EQ(formatted(12345.6789, 0.0), "12345.6789");
    EXPECT_EQ(formatted(123456789012.3, 0.02), "123456789012.30(2)");
    EXPECT_EQ(formatted(0.000012, 0.0000015), "0.0000120(15)");
}

// Values the store may hold after a failed refinement: never a NaN text,
// never asterisks; a value that cannot be written gives the blank text.
TEST(ValueEsd, ValuesThatAreNoNumbersGiveNoDigits) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(formatted(nan, 0.01), "");
    EXPECT_EQ(formatted(inf, 0.01), "");
    EXPECT_EQ(formatted(1.0e31, 0.0), "");
    EXPECT_EQ(formatted(1.0e30, 5.0e20), "");
    // An esd that is no number leaves the value as exact.
    EXPECT_EQ(formatted(7.25, nan), "  7.2500");
    EXPECT_EQ(formatted(7.25, -0.3), "  7.2500");
    // A small negative value rounded to nothing is 0, not -0.
    EXPECT_EQ(formatted(-0.00004, 0.0003), "0.0000(3)");
}

TEST(ValueEsd, PlacesAndRounding) {
    int n = 0;
    GET_PLACES(0.5, n);
    EXPECT_EQ(n, 1);
    GET_PLACES(9.99, n);
    EXPECT_EQ(n, 1);
    GET_PLACES(10.0, n);
    EXPECT_EQ(n, 2);
    GET_PLACES(-123.4, n);
    EXPECT_EQ(n, 4);
    GET_PLACES(std::numeric_limits<double>::infinity(), n);
    EXPECT_EQ(n, 1);
    double v = 12.3456;
    ROUND_VALUE(v, 3);
    EXPECT_DOUBLE_EQ(v, 12.346);
    v = -2.5;
    ROUND_VALUE(v, 0);
    EXPECT_DOUBLE_EQ(v, -3.0);  // nint: half away from zero
    v = 1.0e308;
    ROUND_VALUE(v, 4);
    EXPECT_DOUBLE_EQ(v, 1.0e308);
}

}  // namespace
}  // namespace tarnivox
