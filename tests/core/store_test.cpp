#include <gtest/gtest.h>

#include "core/exitint.h"
#include "core/store.h"

namespace tarnivox {
namespace {

TEST(StoreDeathTest, IndexOutsideAnArrayStopsWithADiagnostic) {
    Arr1<double, 500> counts;
    int i = 501;
    EXPECT_DEATH(counts(i) = 1.0, "index 501 outside 1..500");
    i = 0;
    EXPECT_DEATH(counts(i) = 1.0, "index 0 outside 1..500");
    Arr2<int, 10, 3> hkl;
    EXPECT_DEATH(hkl(11, 1) = 0, "row 11 outside 1..10");
    EXPECT_DEATH(hkl(1, 4) = 0, "column 4 outside 1..3");
    EXPECT_DEATH((void)counts.first(501), "count 501");
}

TEST(Store, ResetGivesTheStartValuesAndTextFieldsKeepTheirWidth) {
    G.NPTS = 40;
    G.COUNTS(500) = 3.0;
    G.TITLE = std::string(80, 'x');
    EXPECT_EQ(G.TITLE.str().size(), 60u);
    EXPECT_EQ(G.TITLE.padded().size(), 60u);
    reset_store();
    EXPECT_EQ(G.NPTS, 0);
    EXPECT_EQ(G.COUNTS(500), 0.0);
    EXPECT_TRUE(G.TITLE.blank());
    EXPECT_EQ(G.LUSCR, 25);
    EXPECT_EQ(G.BLAXES(3), 3);
    EXPECT_EQ(G.GONCON1, 200.0);
}

TEST(Store, MatricesAreRowColumn) {
    Arr2<double, 3, 3> m;
    m(1, 2) = 5.0;
    EXPECT_EQ(m.row(1)[1], 5.0);
    EXPECT_EQ(m(2, 1), 0.0);
}

TEST(ExitInt, ShownTextEndsAtTheFirstCharacterOutsideSpaceToLowerZ) {
    EXPECT_EQ(exitint_shown_text("READ ERROR ON SCAN FILE"), "READ ERROR ON SCAN FILE");
    EXPECT_EQ(exitint_shown_text("BAD | REST"), "BAD");
    EXPECT_EQ(exitint_shown_text("END~X"), "END");
    EXPECT_EQ(exitint_shown_text("A\tB"), "A");
    EXPECT_EQ(exitint_shown_text(std::string(70, 'E')), std::string(60, 'E'));
    EXPECT_EQ(exitint_shown_text(""), "");
    EXPECT_EQ(exitint_shown_text("   "), "");
    try {
        EXITINT("MISSING DATA FROM PARAMETER FILE", 32);
        FAIL();
    } catch (const ProgramEnd& e) {
        EXPECT_EQ(e.message, "MISSING DATA FROM PARAMETER FILE");
    }
}

}  // namespace
}  // namespace tarnivox
