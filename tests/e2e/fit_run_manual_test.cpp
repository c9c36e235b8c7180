// "Manual profile fit" through the whole program: stepping, refitting with
// a changed start value, accepting, rejecting, jumping and exporting; the
// intensity file holds exactly the accepted reflections.

#include <cstdio>

#include "e2e/fit_run_fixture.h"

namespace tarnivox::fitrun {
namespace {

using ManualFitRun = FitRun;

TEST_F(ManualFitRun, IntensityFileHoldsExactlyTheAcceptedReflections) {
    sim::Config c;
    c.format = sim::Format::Standard;
    c.seed = 5;
    c.nrefl = 14;
    c.step = 0.02;
    const sim::Result r = simulate(c);
    std::vector<const sim::Truth*> kept;
    for (const sim::Truth& t : r.refl)
        if (t.in_data_set) kept.push_back(&t);
    ASSERT_GE(kept.size(), 14u);
    // A jump by indices lands on the first reflection with them.
    std::size_t by_hkl = 7;
    for (std::size_t j = 0; j < kept.size(); ++j)
        if (kept[j]->hkl == kept[7]->hkl) {
            by_hkl = j;
            break;
        }
    char hkl_text[40];
    std::snprintf(hkl_text, sizeof hkl_text, "\"%d %d %d\"", kept[7]->hkl[0], kept[7]->hkl[1], kept[7]->hkl[2]);

    const std::string script = opening("Standard", 0.0, 1) +
                               "command 321\n"
                               "press main Next\n"
                               "press main Accept\n"
                               "set \"Fitting Controls & Results\" \"FWHM Input\" 0.3\n"
                               "press main Refit\n"
                               "press main Accept\n"
                               "press main Reject\n"
                               "press main Previous\n"
                               "enter main HKL " + std::string(hkl_text) + "\n"
                               "press main Accept\n"
                               "enter main ISEQ " + std::to_string(kept[11]->nref) + "\n"
                               "press main Export\n"
                               "browse scan.dat\n"
                               "press main Accept\n"
                               "press main Exit\n";
    EXPECT_EQ(run(script), "");
    const std::vector<Written> got = read_intensity_file(dir_ / "out.txt", 1);
    const std::vector<int> want = {kept[1]->nref, kept[2]->nref, kept[by_hkl]->nref, kept[11]->nref};
    std::vector<int> numbers;
    for (const Written& w : got) numbers.push_back(w.nref);
    EXPECT_EQ(numbers, want);
    for (const Written& w : got) EXPECT_EQ(w.status.substr(1, 1), "F");
    // The exported scan is the one shown when Export was pressed.
    const auto exported = lines_of(dir_ / "scan.dat");
    ASSERT_FALSE(exported.empty());
    char head[64];
    std::snprintf(head, sizeof head, "PROFILE FOR REFLECTION HKL = %5d%5d%5d", kept[11]->hkl[0], kept[11]->hkl[1],
                  kept[11]->hkl[2]);
    EXPECT_NE(exported[0].find(head), std::string::npos) << exported[0];
}

}  // namespace
}  // namespace tarnivox::fitrun
