#include "commands/manual_fit.h"

#include "commands/fit_loop_fixture.h"
#include "operations/manual_fit.h"

namespace tarnivox::fitloop {
namespace {

using ManualFit = FitLoop;

constexpr char kDialog[] = "\"Fitting Controls & Results\"";

TEST_F(ManualFit, OnlyAcceptedReflectionsAreWritten) {
    prepare(8,
            "press main Previous\n"  // on the first reflection: it stays
            "press main Next\n"      // 2
            "press main Accept\n"    // writes 2, shows 3
            "press main Reject\n"    // 3 not written, shows 4
            "press main Previous\n"  // 3
            "press main Refit\n"
            "enter main HKL \"5 0 1\"\n"
            "press main Accept\n"         // writes 5, shows 6
            "enter main HKL \"7 7 7\"\n"  // not there: 6 again
            "enter main HKL \"x\"\n"      // unreadable: nothing happens
            "enter main ISEQ 2\n"
            "press main Accept\n"  // the user may write a reflection again
            "press main Export\n"
            "press main Exit\n");
    ASSERT_TRUE(run(START_MANUAL_FIT));
    EXPECT_EQ(written_numbers(), (std::vector<int>{2, 5, 2}));
    EXPECT_EQ(G.NREF, 3);
    // No summary is written and the window is idle again.
    EXPECT_FALSE(log_has("SUMMARY"));
    EXPECT_EQ(status_of_panel(2), -1);
    EXPECT_EQ(backend_->widget(wid(MENU_TITLE(1))).status, 1);
}

// An accepted fit the tests rejected is written from the summation over its
// expected peak; its status letters say so (rejected, with the reason), as
// the automatic run marks such a record, never as a fit.
TEST_F(ManualFit, AcceptedRejectedReflectionIsWrittenFromSummationAndMarkedSo) {
    prepare(3, "press main Accept\npress main Exit\n");
    G.ICHK(3) = 1;
    G.PARLO(3) = 1.0e7;  // no intensity passes
    ASSERT_TRUE(run(START_MANUAL_FIT));
    const auto lines = written_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(70, 6), "NRI1  ");
    EXPECT_EQ(G.NREF, 2);
    EXPECT_EQ(G.FITSTAT.padded().substr(0, 2), "RI");  // reflection 2 is rejected as fitted
}

TEST_F(ManualFit, RefitKeepsTypedStartValuesWhileMovingRecomputesThem) {
    prepare(3, std::string("set ") + kDialog + " \"Position Input\" 0.05\npress main Refit\nclose\n");
    EXPECT_FALSE(run(START_MANUAL_FIT));
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(wid(FC_INPUT(4))), 0.05);
    EXPECT_NEAR(G.PAR(4), 0.0, 0.01);  // the fit itself still finds the peak

    TearDown();
    SetUp();
    prepare(3, std::string("set ") + kDialog + " \"Position Input\" 0.05\npress main Next\nclose\n");
    EXPECT_FALSE(run(START_MANUAL_FIT));
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(wid(FC_INPUT(4))), 0.0);  // the step of the largest count
}

TEST_F(ManualFit, NextPastTheLastReflectionEndsManualFitting) {
    prepare(2, "press main Next\npress main Next\n");
    ASSERT_TRUE(run(START_MANUAL_FIT));
    EXPECT_EQ(G.NREF, 2);
    const auto m = messages();
    EXPECT_NE(std::find(m.begin(), m.end(), "End of File"), m.end());
    EXPECT_EQ(status_of_panel(3), -1);
}

TEST_F(ManualFit, AcceptNeedsAnOutputFile) {
    prepare(3, "close\n");
    G.OUTOPEN = 0;
    EXPECT_FALSE(run(START_MANUAL_FIT));
    EXPECT_EQ(status_of_panel(11), 0);
    EXPECT_EQ(status_of_panel(12), 0);
    EXPECT_EQ(status_of_panel(2), 1);
    EXPECT_EQ(status_of_panel(20), 1);
    EXPECT_EQ(status_of_panel(18), -1);

    TearDown();
    SetUp();
    prepare(3, "close\n");
    EXPECT_FALSE(run(START_MANUAL_FIT));
    EXPECT_EQ(status_of_panel(11), 1);
}

TEST_F(ManualFit, DataSetWithoutReflectionsWritesNothing) {
    prepare(0, "press main Accept\npress main Refit\n");
    ASSERT_TRUE(run(START_MANUAL_FIT));
    EXPECT_TRUE(written_numbers().empty());
}

// With no data set (none opened yet, or an import that failed) there is
// nothing to walk: a box says what to do and the main window stays as it
// was, its menus usable and the fitting panel hidden.
TEST_F(ManualFit, WithoutADataSetSaysWhatToDoAndLeavesTheWindowAsItWas) {
    prepare(3, "");
    close_unit(LU_SCAN);
    const int panel_before = status_of_panel(2);
    ASSERT_TRUE(run(START_MANUAL_FIT));
    EXPECT_EQ(messages(), std::vector<std::string>{NO_DATA_SET_TEXT});
    EXPECT_EQ(status_of_panel(2), panel_before);
    EXPECT_EQ(status_of_panel(11), panel_before);
    EXPECT_EQ(backend_->widget(wid(MENU_TITLE(1))).status, 1);
    EXPECT_TRUE(written_numbers().empty());
}

}  // namespace
}  // namespace tarnivox::fitloop
