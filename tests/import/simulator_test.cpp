// The data simulator: deterministic for a seed, and the parameter file it
// writes is one the program reads.

#include <cmath>

#include "core/store.h"
#include "import_fixture.h"
#include "io/units.h"
#include "params/parameters.h"
#include "refine/offsets.h"
#include "support/scratch.h"

namespace tarnivox::importtest {
namespace {

using test::read_text;

TEST_F(ImportTest, SimulatorRepeatsItselfForASeedAndOnlyThen) {
    for (sim::Format f : {sim::Format::Cad4, sim::Format::Xscans, sim::Format::Febo}) {
        sim::Config c;
        c.format = f;
        c.nrefl = 15;
        c.seed = 9;
        const std::string ext = "." + sim::extension_of(f);
        sim::simulate(c, path("a" + ext), path("a.par"), path("a.truth"));
        sim::simulate(c, path("b" + ext), path("b.par"), path("b.truth"));
        c.seed = 10;
        sim::simulate(c, path("c" + ext), path("c.par"), "");
        EXPECT_EQ(read_text(path("a" + ext)), read_text(path("b" + ext)));
        EXPECT_EQ(read_text(path("a.truth")), read_text(path("b.truth")));
        EXPECT_NE(read_text(path("a" + ext)), read_text(path("c" + ext)));
    }
}

// Strong standards (up against the count cap) carry the decay of the
// truth table: the cap bounds the crystal's intensity before its loss.
TEST_F(ImportTest, SimulatedDecayShowsInStandardsAtTheCountCap) {
    sim::Config c;
    c.format = sim::Format::Cad4;  // four-digit counts: every standard at the cap
    c.nrefl = 41;
    c.nstd = 1;
    c.std_interval = 10;
    c.scale_i = 1.0e7;
    c.decay = 0.4;
    const sim::Result r = sim::simulate(c, path("d.dat"), path("d.par"), "");
    const auto net = [](const sim::Truth& t) {
        double sum = 0.0;
        for (long long n : t.counts) sum += static_cast<double>(n) - t.background;
        return sum;
    };
    const sim::Truth& first = r.refl.front();
    for (const sim::Truth& t : r.refl) {
        if (t.isctype != 1 || &t == &first) continue;
        SCOPED_TRACE("standard " + std::to_string(t.nref));
        // (The cap differs a little with the peak's place in the scan.)
        EXPECT_NEAR(t.intensity / first.intensity, t.decay, 0.005);
        EXPECT_NEAR(net(t) / net(first), t.decay, 0.02);
    }
    EXPECT_NEAR(r.refl.back().decay, 0.6, 1e-12);
}

TEST_F(ImportTest, SimulatedParameterFileMatchesTheCrystal) {
    sim::Config c;
    c.format = sim::Format::Stoe;
    c.atten = 7.5;
    sim::simulate(c, path("a.d00"), path("a.par"), "");
    ASSERT_EQ(open_unit(LU_PARAM, path("a.par"), OpenMode::Read), 0);
    READ_PARAMETERS();
    EXPECT_DOUBLE_EQ(G.WAVE1, c.wave1);
    EXPECT_DOUBLE_EQ(G.WAVE2, c.wave2);
    EXPECT_DOUBLE_EQ(G.ATTEN, 7.5);
    EXPECT_DOUBLE_EQ(G.FWHMA, c.fwhm_a);
    EXPECT_DOUBLE_EQ(G.FWHMB, c.fwhm_b);
    // Position limits are distances below and above the setting omega.
    EXPECT_GT(G.PARLO(4), 0.0);
    EXPECT_GT(G.PARHI(4), 0.0);
}

// The README's recipe, simulate then fit: the background limits of the
// simulated parameter file hold the simulated background, at the default
// level and at a high one, so the automatic run does not reject every scan.
TEST_F(ImportTest, SimulatedBackgroundLimitsHoldTheSimulatedBackground) {
    for (const double background : {20.0, 5000.0}) {
        sim::Config c;
        c.format = sim::Format::Cad4;
        c.background = background;
        sim::simulate(c, path("b.dat"), path("b.par"), "");
        ASSERT_EQ(open_unit(LU_PARAM, path("b.par"), OpenMode::Read), 0);
        READ_PARAMETERS();
        EXPECT_EQ(G.ICHK(1), 1);
        EXPECT_LE(G.PARLO(1), 0.0) << background;
        EXPECT_GE(G.PARHI(1), 10.0 * background) << background;
    }
}

// Instrument errors move only what they should: a 2theta zero error every
// 2theta; the omega zero (less half the 2theta zero) and the crystal offset
// every peak position, by the program's own offset shift, on top of the
// 0.01 degree scatter of the peaks about their settings; GONCON carries
// the goniometer constant to the parameter file.
TEST_F(ImportTest, SimulatedZeroErrorsAndOffsetMoveAnglesAndPeaks) {
    sim::Config c;
    c.format = sim::Format::Standard;
    c.nrefl = 200;
    const sim::Result plain = sim::simulate(c, path("a.rfl"), path("a.par"), "");
    c.tth_zero = 0.06;
    c.om_zero = 0.05;
    c.xtaloff = {0.1, -0.2, 0.15};
    c.goncon1 = 180.0;
    const sim::Result moved = sim::simulate(c, path("b.rfl"), path("b.par"), "");
    ASSERT_EQ(open_unit(LU_PARAM, path("b.par"), OpenMode::Read), 0);
    READ_PARAMETERS();
    EXPECT_DOUBLE_EQ(G.GONCON1, 180.0);
    G.XTALOFF = Arr1<double, 3>{{0.1, -0.2, 0.15}};
    G.OMZERO = 0.0;
    ASSERT_EQ(plain.refl.size(), moved.refl.size());
    double sum = 0.0, sum2 = 0.0, shift2 = 0.0;
    for (std::size_t i = 0; i < plain.refl.size(); ++i) {
        const sim::Truth& a = plain.refl[i];
        const sim::Truth& b = moved.refl[i];
        EXPECT_NEAR(b.angles[0] - a.angles[0], 0.06, 1e-9) << i;
        for (std::size_t j = 1; j < 4; ++j) EXPECT_EQ(b.angles[j], a.angles[j]) << i;
        Arr1<double, 4> ang{{b.angles[0], b.angles[1], b.angles[2], b.angles[3]}};
        Arr1<double, 3> aoff;
        CALC_ANGOFF(ang, aoff);
        const double expected = 0.05 - 0.03 + aoff(2);
        const double rest = b.position - b.angles[1] - expected;
        sum += rest;
        sum2 += rest * rest;
        shift2 += expected * expected;
    }
    const double n = static_cast<double>(plain.refl.size());
    EXPECT_NEAR(sum / n, 0.0, 0.003);
    EXPECT_LT(std::sqrt(sum2 / n), 0.012);   // only the scatter is left
    EXPECT_GT(std::sqrt(shift2 / n), 0.03);  // the shifts themselves are far larger
}

TEST_F(ImportTest, LogSummaryCountsTheSimulatedClasses) {
    sim::Config c;
    c.seed = 11;
    c.nrefl = 40;
    const sim::Result r = sim::simulate(c, path("s.dat"), path("s.par"), "");
    fresh_run();
    set_instrument(c);
    open_unit(LU_LOG, path("log.txt"), OpenMode::Replace, true);
    G.LOGOPEN = 1;
    import_file(path("s.dat"), 7);
    close_unit(LU_LOG);
    const std::string log = read_text(path("log.txt"));
    const char* const labels[] = {
        "WEAK REFLECTIONS NOT RESCANNED:         ", "WEAK REFLECTIONS RESCANNED, MIN SPEED:  ",
        "NORMAL REFLECTIONS RESCANNED:           ", "STRONG REFLECTIONS NOT RESCANNED:       ",
        "FILTERED REFLECTIONS:                   ", "STANDARDS:                              "};
    int total = 0;
    for (int k = 0; k < 6; ++k) {
        const int n = r.nclass[static_cast<std::size_t>(k)];
        total += n;
        char field[8];
        std::snprintf(field, sizeof field, "%5d", n);
        EXPECT_NE(log.find(std::string(labels[k]) + field), std::string::npos) << labels[k];
    }
    char field[8];
    std::snprintf(field, sizeof field, "%5d", total);
    EXPECT_NE(log.find(std::string("TOTAL NUMBER OF REFLECTIONS:            ") + field), std::string::npos)
        << log;
}

}  // namespace
}  // namespace tarnivox::importtest
