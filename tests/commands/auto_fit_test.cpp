#include "commands/auto_fit.h"

#include "commands/fit_loop.h"
#include "commands/fit_loop_fixture.h"

namespace tarnivox::fitloop {
namespace {

constexpr char kPkvals[] = "press \"Peak parameter default values\" \"Save + Exit\"\n";

using AutoFit = FitLoop;

TEST_F(AutoFit, StartFitsAndWritesEveryReflectionThenLogsTheSummary) {
    prepare(6, std::string(kPkvals) + "press main Start\n");
    ASSERT_TRUE(run(START_AUTO_FIT));
    EXPECT_EQ(written_numbers(), range(1, 6));
    int counted = 0;
    for (int i = 1; i <= 11; ++i) counted += G.NFITC(i);
    EXPECT_EQ(counted, 6);
    EXPECT_TRUE(log_has("SUMMARY OF REFLECTIONS FIT WITH AUTOFIT UTILITY"));
    EXPECT_TRUE(log_has("THESE REFLECTIONS WRITTEN TO: out.int"));
    const auto m = messages();
    EXPECT_NE(std::find(m.begin(), m.end(), "End of File"), m.end());
    // The window is back in its idle state and the timer stopped.
    EXPECT_FALSE(backend_->timer_running());
    EXPECT_EQ(status_of_panel(18), -1);
    EXPECT_EQ(backend_->widget(wid(MENU_TITLE(1))).status, 1);
}

TEST_F(AutoFit, AnswerNoFitsAndCountsWithoutWritingAndCancelLeaves) {
    prepare(4, "answer no\n" + std::string(kPkvals) + "press main Start\n");
    G.OUTOPEN = 0;
    G.NFITC(3) = 99;  // counters of an earlier run are cleared
    ASSERT_TRUE(run(START_AUTO_FIT));
    EXPECT_TRUE(written_numbers().empty());
    int counted = 0;
    for (int i = 1; i <= 11; ++i) counted += G.NFITC(i);
    EXPECT_EQ(counted, 4);
    EXPECT_TRUE(log_has("SUMMARY OF REFLECTIONS FIT WITH AUTOFIT UTILITY"));
    EXPECT_FALSE(log_has("THESE REFLECTIONS WRITTEN TO"));

    TearDown();
    SetUp();
    prepare(4, "answer cancel\n");
    G.OUTOPEN = 0;
    ASSERT_TRUE(run(START_AUTO_FIT));
    EXPECT_NE(G.FITMODE, 2);  // nothing of the run began
    ASSERT_EQ(backend_->events().size(), 1u);
    EXPECT_EQ(backend_->events()[0].text, "No output datafile is open. Do you want to open a file?");
    EXPECT_EQ(backend_->events()[0].title, "TARNIVOX");
}

TEST_F(AutoFit, LeavingThePeakParameterDialogWithoutStoringLeaves) {
    prepare(3, "press \"Peak parameter default values\" Quit\n");
    ASSERT_TRUE(run(START_AUTO_FIT));
    EXPECT_TRUE(written_numbers().empty());
    EXPECT_FALSE(log_has("SUMMARY"));
}

// Pausing and resuming many times never writes a reflection twice, and
// the summary counts each reflection once, as the file holds it.
TEST_F(AutoFit, PausedAndResumedRunWritesEveryReflectionOnce) {
    std::string script = std::string(kPkvals) + "press main Start\nticks 1\n";
    for (int i = 0; i < 5; ++i)
        script += "press main Stop\npress main Start\npress main Stop\npress main Start\nticks 1\n";
    prepare(12, script);
    ASSERT_TRUE(run(START_AUTO_FIT));
    EXPECT_EQ(written_numbers(), range(1, 12));
    int counted = 0;
    for (int i = 1; i <= 11; ++i) counted += G.NFITC(i);
    EXPECT_EQ(counted, 12);
}

TEST_F(AutoFit, JumpsAreFittedAndShownButNotWritten) {
    prepare(8,
            std::string(kPkvals) +
                "enter main HKL \"9 9 9\"\n"  // no such reflection: the current one is refitted
                "enter main HKL \"1 2 x\"\n"  // not three integers: nothing happens
                "enter main HKL \"4 0 1\"\n"  // reflection 4
                "enter main ISEQ 6\n"         // reflection 6
                "enter main ISEQ 60\n"        // no such number: back to 6
                "press main Start\n");
    ASSERT_TRUE(run(START_AUTO_FIT));
    // Start writes the reflection jumped to and the run continues after it.
    EXPECT_EQ(written_numbers(), range(6, 8));
    const auto m = messages();
    EXPECT_EQ(std::count(m.begin(), m.end(), "Reflection not found"), 2);
}

TEST_F(AutoFit, StartAfterJumpToTheLastReflectionWritesItAndEnds) {
    prepare(3, std::string(kPkvals) + "enter main ISEQ 3\npress main Start\n");
    ASSERT_TRUE(run(START_AUTO_FIT));
    EXPECT_EQ(written_numbers(), std::vector<int>{3});
}

TEST_F(AutoFit, ExitEndsAtOnceWithoutSummary) {
    prepare(10, std::string(kPkvals) + "press main Start\nticks 2\npress main Exit\n");
    ASSERT_TRUE(run(START_AUTO_FIT));
    EXPECT_EQ(written_numbers(), range(1, 3));
    EXPECT_FALSE(log_has("SUMMARY"));
    EXPECT_FALSE(backend_->timer_running());
    EXPECT_EQ(status_of_panel(19), -1);
}

TEST_F(AutoFit, PanelButtonsFollowTheRunState) {
    prepare(10, std::string(kPkvals) + "close\n");
    EXPECT_FALSE(run(START_AUTO_FIT));   // closing the window ends the program
    EXPECT_EQ(status_of_panel(18), 1);   // Start
    EXPECT_EQ(status_of_panel(19), 0);   // Stop greyed while waiting
    EXPECT_EQ(status_of_panel(6), 1);    // jumps allowed
    EXPECT_EQ(status_of_panel(2), -1);   // Previous belongs to manual fitting
    EXPECT_EQ(status_of_panel(11), -1);  // Accept too
    EXPECT_EQ(backend_->widget(wid(MENU_TITLE(2))).status, 0);

    TearDown();
    SetUp();
    prepare(10, std::string(kPkvals) + "press main Start\nticks 1\nclose\n");
    EXPECT_FALSE(run(START_AUTO_FIT));
    EXPECT_EQ(status_of_panel(18), 0);
    EXPECT_EQ(status_of_panel(19), 1);
    EXPECT_EQ(status_of_panel(6), 0);
}

TEST_F(AutoFit, DataSetWithoutReflectionsEndsCleanly) {
    prepare(0, std::string(kPkvals) + "press main Start\n");
    EXPECT_EQ(G.NPTS, 0);
    ASSERT_TRUE(run(START_AUTO_FIT));
    EXPECT_TRUE(written_numbers().empty());
    EXPECT_TRUE(log_has("SUMMARY OF REFLECTIONS FIT WITH AUTOFIT UTILITY"));
}

TEST(HklEntry, ReadsThreeIntegersOnly) {
    int h[3] = {7, 7, 7};
    EXPECT_TRUE(parse_hkl(" 1 -2  3", h));
    EXPECT_EQ(h[0], 1);
    EXPECT_EQ(h[1], -2);
    EXPECT_EQ(h[2], 3);
    EXPECT_TRUE(parse_hkl("4,5,6", h));
    EXPECT_EQ(h[2], 6);
    for (const char* bad : {"", "1 2", "a b c", "1 2 x", "1.5 2 3"}) {
        int g[3] = {7, 7, 7};
        EXPECT_FALSE(parse_hkl(bad, g)) << bad;
        EXPECT_EQ(g[0], 7) << bad;
    }
}

}  // namespace
}  // namespace tarnivox::fitloop
