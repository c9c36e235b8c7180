// Every instrument format: simulated data set -> CONVERT_FILE -> the
// standard scan file gives back the simulated reflections.
#include <algorithm>

#include "core/store.h"
#include "import_fixture.h"

namespace tarnivox::importtest {
namespace {

struct FormatCase {
    const char* name;
    sim::Format format;
    bool newer = true;
    double angle_tol = 0.0006;
};

class RoundTrip : public ImportTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(RoundTrip, GivesBackSimulatedReflectionsAndClasses) {
    const FormatCase fc = GetParam();
    sim::Config c;
    c.format = fc.format;
    c.xcal_newer = fc.newer;
    c.seed = 11;
    c.nrefl = 40;
    const sim::Result r = simulate_and_import(c, fc.name);
    expect_matches_truth(walk_scan_file(), r, fc.angle_tol);
    for (int k = 1; k <= 7; ++k)
        EXPECT_EQ(G.NCLASS(k), r.nclass[static_cast<std::size_t>(k - 1)]) << "class " << k;
    EXPECT_EQ(messages().back(), "Data File read in successfully");
    EXPECT_EQ(G.INOPEN, 1);
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip,
                         ::testing::Values(FormatCase{"cad4", sim::Format::Cad4, true, 0.003},
                                           FormatCase{"stoe", sim::Format::Stoe},
                                           FormatCase{"huber", sim::Format::Huber},
                                           FormatCase{"febo", sim::Format::Febo},
                                           FormatCase{"xcalibur", sim::Format::Xcalibur, true, 0.002},
                                           FormatCase{"xcalibur_old", sim::Format::Xcalibur, false, 0.002},
                                           FormatCase{"xscans", sim::Format::Xscans},
                                           FormatCase{"standard", sim::Format::Standard}),
                         [](const ::testing::TestParamInfo<FormatCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ImportTest, SimulatedSetsCoverEveryClassOfTheirFormat) {
    sim::Config c;
    c.seed = 11;
    c.nrefl = 40;
    const sim::Result r = sim::simulate(c, path("c.dat"), path("c.par"), "");
    for (int k = 0; k < 6; ++k) EXPECT_GT(r.nclass[static_cast<std::size_t>(k)], 0) << "WMRSFI"[k];
    EXPECT_TRUE(
        std::any_of(r.refl.begin(), r.refl.end(), [](const sim::Truth& t) { return !t.in_data_set; }));
    EXPECT_TRUE(
        std::any_of(r.refl.begin(), r.refl.end(), [](const sim::Truth& t) { return t.intensity == 0.0; }));
}

}  // namespace
}  // namespace tarnivox::importtest
