#include <gtest/gtest.h>

#include <cmath>

#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {
namespace {

TEST(LayoutWrite, IntegerFieldsRightAlignWithMinimumDigitsAndOverflow) {
    EXPECT_EQ(format_record("(3I4,1X,F7.3)", {1, -2, 13, 123.4}), "   1  -2  13 123.400");
    EXPECT_EQ(format_int(7, 5, 3), "  007");
    EXPECT_EQ(format_int(-7, 5, 3), " -007");
    EXPECT_EQ(format_int(0, 3, 0), "   ");  // I3.0 of zero is blank
    EXPECT_EQ(format_int(12345, 4), "****");
    EXPECT_EQ(format_int(-100, 3), "***");
    EXPECT_EQ(format_int(-99, 3), "-99");
    EXPECT_EQ(format_record("(I6.6)", {42}), "000042");
}

TEST(LayoutWrite, FixedPointRoundsHalfAwayAndDropsLeadingZeroOnlyWhenNeeded) {
    EXPECT_EQ(format_fixed(0.5, 7, 5), "0.50000");
    EXPECT_EQ(format_fixed(-0.00037, 7, 5), "-.00037");
    EXPECT_EQ(format_fixed(-0.5, 5, 2), "-0.50");
    EXPECT_EQ(format_fixed(0.5, 3, 2), ".50");
    EXPECT_EQ(format_fixed(123.4, 7, 3), "123.400");
    EXPECT_EQ(format_fixed(1234.5, 7, 3), "*******");
    EXPECT_EQ(format_fixed(0.125, 5, 2), " 0.13");   // exact tie goes away from zero
    EXPECT_EQ(format_fixed(-0.125, 6, 2), " -0.13");
    EXPECT_EQ(format_fixed(2.675, 6, 2), "  2.67");  // 2.675 is 2.67499999... in binary
    EXPECT_EQ(format_fixed(9.999, 5, 2), "10.00");
    EXPECT_EQ(format_fixed(9.999, 4, 2), "****");
    EXPECT_EQ(format_fixed(12.5, 8, 0), "     13.");
    EXPECT_EQ(format_fixed(0.0, 6, 2), "  0.00");
    EXPECT_EQ(format_fixed(-0.001, 6, 2), " -0.00");
    EXPECT_EQ(format_fixed(1e40, 8, 2), "********");
}

TEST(LayoutWrite, NonFiniteValuesNeverReachAFile) {
    EXPECT_EQ(format_fixed(std::numeric_limits<double>::quiet_NaN(), 8, 3), "********");
    EXPECT_EQ(format_fixed(std::numeric_limits<double>::infinity(), 6, 1), "******");
}

TEST(LayoutWrite, TextIsLeftJustifiedCutOrPadded) {
    EXPECT_EQ(format_record("('[',A5,']')", {"ab"}), "[ab   ]");
    EXPECT_EQ(format_record("('[',A3,']')", {"abcdef"}), "[abc]");
    EXPECT_EQ(format_record("('[',A,']')", {"abcdef"}), "[abcdef]");
    EXPECT_EQ(format_record("('It''s',1X,A)", {"ok"}), "It's ok");
}

TEST(LayoutWrite, SlashesGroupsAndRepeatedLiterals) {
    EXPECT_EQ(format_record("(/,1X,60('*'),/,/)"), "\n " + std::string(60, '*') + "\n\n");
    EXPECT_EQ(format_record("(/,/,80(,'*',),/)"), "\n\n" + std::string(80, '*') + "\n");
    EXPECT_EQ(format_record("(2(I2,'/'),I1)", {1, 2, 3}), " 1/ 2/3");
    EXPECT_EQ(format_record("('S',10I8)", {1, 2}), "S       1       2");
}

TEST(LayoutWrite, ArraysExpandAndTheLayoutIsReusedFromItsLastGroup) {
    const int counts[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_EQ(format_record("(10I3)", {std::span<const int>(counts, 12)}),
              "  1  2  3  4  5  6  7  8  9 10\n 11 12");
    EXPECT_EQ(format_record("('H',1X,2(I2))", {1, 2, 3, 4, 5}), "H  1 2\n 3 4\n 5");
    Arr1<double, 3> cell;
    cell(1) = 1.5;
    cell(2) = 2.5;
    cell(3) = 3.5;
    EXPECT_EQ(format_record("(3F5.1)", {cell}), "  1.5  2.5  3.5");
}

TEST(LayoutWrite, ItemsRunningOutEndTheRecordBeforeTheNextField) {
    EXPECT_EQ(format_record("('A=',I2,' B=',I2)", {5}), "A= 5 B=");
    EXPECT_EQ(format_record("('A=',I2,:,' B=',I2)", {5}), "A= 5");
}

TEST(LayoutWrite, DynamicLayoutBuiltByTheProgramItself) {
    const std::string layout =
        format_record("('(F',I1,'.',I1,',',A1,'(',A1,',','I',I1,',',A1,')',A1,')')",
                      {7, 3, "'", "'", 2, "'", "'"});
    EXPECT_EQ(layout, "(F7.3,'(',I2,')')");
    EXPECT_EQ(format_record(layout, {123.4, 5}), "123.400( 5)");
}

// Files read back by column: a value too wide gives up decimals in the same
// columns, then keeps its point (1234567.), drops it only in a field of no
// decimals, then takes an exponent; a value no form holds refuses the
// record.  Never more columns, never a point lost in a field of decimals.
TEST(LayoutWrite, FittingRecordsNeverWriteAsterisks) {
    EXPECT_EQ(format_fixed_fit(3.25, 9, 4), "   3.2500");
    EXPECT_EQ(format_fixed_fit(123456.789, 9, 4), "123456.79");
    EXPECT_EQ(format_fixed_fit(-81234.5, 9, 4), "-81234.50");
    EXPECT_EQ(format_fixed_fit(1234562.0, 7, 0), "1234562");
    EXPECT_EQ(format_fixed_fit(-123456789.0, 7, 0), "");
    EXPECT_EQ(format_fixed_fit(12345678.0, 8, 2), "1.23E+07");  // not 12345678, read as 123456.78
    EXPECT_EQ(format_fixed_fit(1234567.0, 8, 2), "1234567.");
    EXPECT_EQ(format_fixed_fit(1.0e30, 9, 4), "1.000E+30");
    EXPECT_EQ(format_fixed_fit(1023943114.0, 9, 4), "1.024E+09");
    EXPECT_EQ(format_fixed_fit(-1023943114.0, 9, 4), "-1.02E+09");
    EXPECT_EQ(format_fixed_fit(std::nan(""), 9, 4), "      NaN");
    EXPECT_EQ(format_fixed_fit(-2.0e31, 9, 4), "-2.00E+31");
    EXPECT_EQ(format_int_fit(123456, 5), "123456");
    EXPECT_EQ(format_int_fit(-42, 5), "  -42");
    EXPECT_EQ(format_record_fit("(F7.0,I5,F8.4)", {12345678.0, 100000, -120.0}), "1.2E+07100000-120.000");
    EXPECT_EQ(format_record_fit("(F7.0,F7.2)", {1.0, -1.0e9}), "");
    const std::string rec = format_record_fit("(F7.0,1X,F9.4,F9.4)", {9876543.0, 1.0e7, 2.5e12});
    double a = 0.0, b = 0.0, c = 0.0;
    ASSERT_EQ(read_fixed(rec, "(F7.0,1X,F9.4,F9.4)", {&a, &b, &c}), READ_OK);
    EXPECT_DOUBLE_EQ(a, 9876543.0);
    EXPECT_DOUBLE_EQ(b, 1.0e7);
    EXPECT_DOUBLE_EQ(c, 2.5e12);
}

}  // namespace
}  // namespace tarnivox
