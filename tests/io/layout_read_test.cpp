#include <gtest/gtest.h>

#include <string>

#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {
namespace {

TEST(LayoutRead, FixedColumnsWithImpliedDecimalsAndBlankFields) {
    double x = -1, y = -1, z = -1;
    int i = -1, j = -1;
    ASSERT_EQ(read_fixed("     12345", "(F10.4)", {&x}), READ_OK);
    EXPECT_DOUBLE_EQ(x, 1.2345);
    ASSERT_EQ(read_fixed("    12.5", "(F8.0)", {&x}), READ_OK);
    EXPECT_DOUBLE_EQ(x, 12.5);
    ASSERT_EQ(read_fixed("  -3   1.5E2   ", "(I4,F8.3,F4.1)", {&i, &y, &z}), READ_OK);
    EXPECT_EQ(i, -3);
    EXPECT_DOUBLE_EQ(y, 150.0);
    EXPECT_DOUBLE_EQ(z, 0.0);  // blank field
    ASSERT_EQ(read_fixed("1 2", "(I3,I5)", {&i, &j}), READ_OK);  // inner blank ignored, short line padded
    EXPECT_EQ(i, 12);
    EXPECT_EQ(j, 0);
    ASSERT_EQ(read_fixed("  1.5D-1", "(F8.3)", {&x}), READ_OK);
    EXPECT_DOUBLE_EQ(x, 0.15);
    ASSERT_EQ(read_fixed("    -5", "(F6.2)", {&x}), READ_OK);
    EXPECT_DOUBLE_EQ(x, -0.05);
}

TEST(LayoutRead, UnreadableFieldsGiveAnErrorStatusNotAnException) {
    int i = 7;
    double x = 7;
    EXPECT_EQ(read_fixed("  1x", "(I4)", {&i}), READ_ERROR);
    EXPECT_EQ(read_fixed(" 1.5", "(I4)", {&i}), READ_ERROR);
    EXPECT_EQ(read_fixed("abc", "(F8.3)", {&x}), READ_ERROR);
    EXPECT_EQ(read_fixed("1.2.3", "(F8.3)", {&x}), READ_ERROR);
    EXPECT_EQ(read_fixed("  1E", "(F4.1)", {&x}), READ_ERROR);
    EXPECT_EQ(read_fixed("99999999999", "(I11)", {&i}), READ_ERROR);
    EXPECT_EQ(read_fixed("-", "(I2)", {&i}), READ_ERROR);
}

TEST(LayoutRead, TextSkipsAndRepeatsFollowTheLayout) {
    std::string code, rest;
    char flag = '?';
    int h[3] = {0, 0, 0};
    ASSERT_EQ(read_fixed("R  1  2  3 W tail", "(A1,3I3,1X,A1,1X,A)", {&code, std::span<int>(h, 3), &flag, &rest}),
              READ_OK);
    EXPECT_EQ(code, "R");
    EXPECT_EQ(h[0], 1);
    EXPECT_EQ(h[2], 3);
    EXPECT_EQ(flag, 'W');
    EXPECT_EQ(rest, "tail");
    Arr1<int, 5> v;
    ASSERT_EQ(read_fixed("   10   20", "(5I5)", {v}), READ_OK);
    EXPECT_EQ(v(1), 10);
    EXPECT_EQ(v(2), 20);
    EXPECT_EQ(v(3), 0);
    Arr1<double, 3> counts;
    ASSERT_EQ(read_fixed("      12     345", "(3I8)", {counts}), READ_OK);  // counts read with I into reals
    EXPECT_EQ(counts(2), 345.0);
}

TEST(LayoutRead, FreeFormatSeparatorsNullsAndMissingTrailingValues) {
    double a = 9, b = 9, c = 9;
    int n = 9, count = -1;
    ASSERT_EQ(read_free(" 1.5, 2  ,3e1", {&a, &b, &c}, &count), READ_OK);
    EXPECT_EQ(count, 3);
    EXPECT_DOUBLE_EQ(a, 1.5);
    EXPECT_DOUBLE_EQ(b, 2.0);
    EXPECT_DOUBLE_EQ(c, 30.0);
    a = b = c = 9;
    ASSERT_EQ(read_free("1,,3", {&a, &b, &c}, &count), READ_OK);
    EXPECT_DOUBLE_EQ(a, 1);
    EXPECT_DOUBLE_EQ(b, 9);  // null value leaves it
    EXPECT_DOUBLE_EQ(c, 3);
    a = b = c = 9;
    ASSERT_EQ(read_free("4", {&n, &b, &c}, &count), READ_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(n, 4);
    EXPECT_DOUBLE_EQ(b, 9);  // missing at the end: unchanged
    ASSERT_EQ(read_free("1 2 / 3", {&a, &b, &c}, &count), READ_OK);
    EXPECT_EQ(count, 2);
    EXPECT_DOUBLE_EQ(c, 9);
    ASSERT_EQ(read_free("3*0.5", {&a, &b, &c}), READ_OK);
    EXPECT_DOUBLE_EQ(c, 0.5);
    ASSERT_EQ(read_free("  ", {&a}, &count), READ_OK);
    EXPECT_EQ(count, 0);
}

TEST(LayoutRead, FreeFormatUnreadableValuesGiveAnErrorStatus) {
    int n = 0;
    double a = 0;
    EXPECT_EQ(read_free("1.5", {&n}), READ_ERROR);  // an integer item
    EXPECT_EQ(read_free("abc", {&a}), READ_ERROR);
    EXPECT_EQ(read_free("1 x", {&a, &a}), READ_ERROR);
    EXPECT_EQ(read_free("'open", {&a}), READ_ERROR);
    std::string s;
    EXPECT_EQ(read_free("'a b' c", {&s}), READ_OK);
    EXPECT_EQ(s, "a b");
}

}  // namespace
}  // namespace tarnivox
