// "Preprocess" from start to end on simulated CAD4 data: which reflections
// enter the refinement list, the threshold, the full list, a run paused and
// ended, and what the user is told.

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "e2e/fit_run_fixture.h"
#include "io/layout.h"
#include "ui/widgets.h"

namespace tarnivox::fitrun {
namespace {

constexpr char kSummaryHead[] = "          SUMMARY OF REFLECTIONS FIT WITH PREPROCESS UTILITY";

class PreprocessRun : public FitRun {
protected:
    static sim::Config config(int nrefl) {
        sim::Config c;
        c.format = sim::Format::Cad4;
        c.seed = 23;
        c.nrefl = nrefl;
        c.scale_i = 20000.0;
        return c;
    }
    // Opens the data set and preprocesses it with the typed threshold
    // (none: the preset 10.0); `more` follows "Go".
    std::string preprocess(const char* threshold = nullptr, const std::string& more = "") const {
        std::string s = opening("Enraf CAD4", 0.0, 0) + "command 331\n";
        if (threshold != nullptr) s += std::string("set \"Preprocessing Control\" I/sigma ") + threshold + "\n";
        return s + "press \"Preprocessing Control\" Go\n" + more;
    }
    bool shown(const std::string& text) const {
        const auto m = messages();
        return std::find(m.begin(), m.end(), text) != m.end();
    }
    std::vector<std::string> log() const { return lines_of(dir_ / "data_Tarnivox.log"); }
    static std::string stored_text() { return format_record("(I5,' Reflections stored for fitting')", {G.NUBREF}); }
    int menu_status(WidSlot s) const { return backend_->widget(wid(s)).status; }
};

TEST_F(PreprocessRun, OnlyStrongFittedOrdinaryReflectionsEnterTheList) {
    const sim::Result r = simulate(config(300));
    ASSERT_EQ(run(preprocess()), "");
    EXPECT_TRUE(shown(stored_text()));
    EXPECT_GT(G.NUBREF, 50);
    EXPECT_LE(G.NUBREF, G.NFITC(1));
    EXPECT_EQ(G.PREPFLAG, 1);
    EXPECT_EQ(menu_status(MENU_CALC_UB), 1);
    EXPECT_EQ(menu_status(MENU_ZREF), 1);
    const auto l = log();
    const auto head = std::find(l.begin(), l.end(), kSummaryHead);
    ASSERT_NE(head, l.end());
    EXPECT_EQ(*(head - 1), std::string(60, '*'));
    EXPECT_NE(std::find(head, l.end(), "       WEAK REFLECTIONS EXCLUDED FROM THESE TOTALS"), l.end());

    double width_ratio = 0.0;
    for (int n = 1; n <= G.NUBREF; ++n) {
        // The scan's own reflection, never a standard, with the fitted
        // peak position in place of the setting omega.
        const auto t = std::find_if(r.refl.begin(), r.refl.end(), [n](const sim::Truth& x) {
            return x.in_data_set && x.isctype == 0 && x.hkl[0] == G.IHREF(n, 1) && x.hkl[1] == G.IHREF(n, 2) &&
                   x.hkl[2] == G.IHREF(n, 3) && std::fabs(x.angles[0] - G.TTHREF(n)) < 1e-4;
        });
        ASSERT_NE(t, r.refl.end()) << "entry " << n;
        for (const sim::Truth& s : r.refl)
            if (s.isctype != 0) {
                EXPECT_FALSE(s.hkl == t->hkl) << "standard in the list";
            }
        EXPECT_NEAR(G.CHIREF(n), t->angles[2], 1e-4);
        EXPECT_NEAR(G.PHIREF(n), t->angles[3], 1e-4);
        EXPECT_NEAR(G.OMREF(n), t->position, 0.01) << n;
        width_ratio += G.FWREF(n) / t->fwhm;
        EXPECT_GT(G.FWSREF(n), 0.0);
        EXPECT_NEAR(G.BGREF(n), t->background * 1.0, 10.0) << n;
    }
    // The fitted widths of the list, on average those of the width law.
    EXPECT_NEAR(width_ratio / G.NUBREF, 1.0, 0.05);
}

// A threshold below 3.0 acts as 3.0; a higher one keeps fewer.
TEST_F(PreprocessRun, ThresholdBelowThreeActsAsThree) {
    int stored[3] = {};
    const char* typed[3] = {"1.5", "3.0", "40.0"};
    for (int k = 0; k < 3; ++k) {
        TearDown();
        SetUp();
        simulate(config(200));
        ASSERT_EQ(run(preprocess(typed[k])), "");
        stored[k] = G.NUBREF;
    }
    EXPECT_EQ(stored[0], stored[1]);
    EXPECT_LT(stored[2], stored[1]);
    EXPECT_GT(stored[2], 0);
}

TEST_F(PreprocessRun, ThousandAndFirstStrongReflectionEndsWithAFullList) {
    sim::Config c = config(1250);
    c.weak_fraction = 0.0;
    c.zero_fraction = 0.0;
    c.nstd = 0;
    simulate(c);
    ASSERT_EQ(run(preprocess("3.0")), "");
    EXPECT_EQ(G.NUBREF, 1000);
    EXPECT_TRUE(shown("Too many reflections: Increase I/sig"));
    EXPECT_FALSE(shown(stored_text()));
    EXPECT_FALSE(backend_->timer_running());
    EXPECT_EQ(backend_->widget(wid(PANEL(1))).status, 1);  // "Exit" usable again
    // No summary, and the list commands stay as they were.
    const auto l = log();
    EXPECT_EQ(std::find(l.begin(), l.end(), kSummaryHead), l.end());
    EXPECT_EQ(G.PREPFLAG, 0);
    EXPECT_EQ(menu_status(MENU_CALC_UB), 0);
}

// Paused and ended with Exit: what was stored so far is kept and reported
// as at the end of the data.
TEST_F(PreprocessRun, ExitWhilePausedKeepsWhatWasStored) {
    simulate(config(300));
    ASSERT_EQ(run(preprocess(nullptr, "ticks 60\npress main Stop\npress main Exit\n")), "");
    EXPECT_GT(G.NUBREF, 0);
    EXPECT_LT(G.NUBREF, 60);
    EXPECT_LT(G.NREF, 100);
    EXPECT_TRUE(shown(stored_text()));
    EXPECT_FALSE(shown("End of File"));
    const auto l = log();
    EXPECT_NE(std::find(l.begin(), l.end(), kSummaryHead), l.end());
    EXPECT_EQ(G.PREPFLAG, 1);
}

TEST_F(PreprocessRun, QuitLeavesTheListAndRestoresTheMenus) {
    simulate(config(50));
    ASSERT_EQ(run(opening("Enraf CAD4", 0.0, 0) + "command 331\npress \"Preprocessing Control\" Quit\n"), "");
    EXPECT_EQ(G.NUBREF, 0);
    EXPECT_EQ(G.PREPFLAG, 0);
    for (int m = 1; m <= 4; ++m) EXPECT_EQ(menu_status(MENU_TITLE(m)), 1);
    EXPECT_FALSE(shown("   0 Reflections stored for fitting"));
}

}  // namespace
}  // namespace tarnivox::fitrun
