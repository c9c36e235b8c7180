// "Auto profile fit" from start to end on simulated data of every input
// format, into each of the three forms of the intensity file.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>

#include "e2e/fit_run_fixture.h"
#include "output/intensity_file.h"
#include "refine/corrections.h"

namespace tarnivox::fitrun {
namespace {

constexpr char kAutoRun[] =
    "command 322\n"
    "press \"Peak parameter default values\" \"Save + Exit\"\n"
    "press main Start\n";

class AutoFitRun : public FitRun, public ::testing::WithParamInterface<FormatCase> {
protected:
    // The reflections the data set holds, in file order.
    static std::vector<const sim::Truth*> kept(const sim::Result& r) {
        std::vector<const sim::Truth*> out;
        for (const sim::Truth& t : r.refl)
            if (t.in_data_set) out.push_back(&t);
        return out;
    }

    std::vector<Written> run_auto(const sim::Result& r, int intfmt) {
        const double step = GetParam().format == sim::Format::Huber || GetParam().format == sim::Format::Febo
                                ? r.step_to_enter
                                : 0.0;
        EXPECT_EQ(run(opening(GetParam().label, step, intfmt) + kAutoRun), "");
        const auto m = messages();
        EXPECT_NE(std::find(m.begin(), m.end(), "End of File"), m.end()) << "the run did not reach the end";
        return read_intensity_file(dir_ / "out.txt", intfmt);
    }

    void expect_every_reflection_once_in_order(const std::vector<Written>& got, const sim::Result& r,
                                               bool with_numbers) {
        const auto want = kept(r);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].h, want[i]->hkl[0]) << i;
            EXPECT_EQ(got[i].k, want[i]->hkl[1]) << i;
            EXPECT_EQ(got[i].l, want[i]->hkl[2]) << i;
            if (with_numbers) {
                EXPECT_EQ(got[i].nref, want[i]->nref) << i;
            }
        }
    }
};

sim::Config config_of(sim::Format f, int nrefl) {
    sim::Config c;
    c.format = f;
    c.seed = 11 + static_cast<std::uint64_t>(f);
    c.nrefl = nrefl;
    c.step = 0.02;
    return c;
}

TEST_P(AutoFitRun, EveryReflectionWrittenOnceInOrderInEveryForm) {
    const sim::Config c = config_of(GetParam().format, 60);
    const sim::Result r = simulate(c);
    const auto want = kept(r);

    const std::vector<Written> rfine = run_auto(r, 1);
    expect_every_reflection_once_in_order(rfine, r, true);
    // The automatic log beside the input file holds the summary.
    const auto log = lines_of(dir_ / "data_Tarnivox.log");
    EXPECT_NE(std::find(log.begin(), log.end(), "          SUMMARY OF REFLECTIONS FIT WITH AUTOFIT UTILITY"),
              log.end());

    // Rfine extended: the same reflections and intensities, three more
    // lines each.
    TearDown();
    SetUp();
    simulate(c);
    const std::vector<Written> extended = run_auto(r, 2);
    expect_every_reflection_once_in_order(extended, r, true);
    for (std::size_t i = 0; i < extended.size() && i < rfine.size(); ++i)
        EXPECT_DOUBLE_EQ(extended[i].intensity, rfine[i].intensity) << i;

    // SHELX, with the direction cosines when the file gave a UB: they agree
    // with those of the true orientation at the output angles, omega being
    // the fitted POSITION the Rfine record gives (the crystal at its peak).
    TearDown();
    SetUp();
    simulate(c);
    const std::vector<Written> shelx = run_auto(r, 3);
    expect_every_reflection_once_in_order(shelx, r, false);
    for (std::size_t i = 0; i < shelx.size() && i < rfine.size(); ++i)
        EXPECT_NEAR(shelx[i].intensity, rfine[i].intensity, 0.5 * std::fabs(rfine[i].intensity) * 1e-3 + 0.6) << i;
    const bool carries_ub = c.format == sim::Format::Xcalibur || c.format == sim::Format::Standard;
    EXPECT_EQ(G.UBFLAG == 1, carries_ub);
    if (G.UBFLAG != 1) return;
    std::vector<double> omegas;
    for (const Written& w : rfine) omegas.push_back(w.omega);
    expect_direction_cosines_of_true_geometry(shelx, want, sim::make_plan(c), omegas);
}

// After removing the Lorentz-polarisation factor (SCALE is already part of
// the simulated intensity), the passed intensities scatter about the truth
// as their esds say.
TEST_P(AutoFitRun, FittedIntensitiesAgreeWithTruthWithinTheirEsds) {
    // Enough reflections that the mean is known to a third of its tolerance.
    const sim::Result r = simulate(config_of(GetParam().format, 1000));
    const auto want = kept(r);
    const std::vector<Written> rfine = run_auto(r, 1);
    ASSERT_EQ(rfine.size(), want.size());
    std::vector<double> z;
    for (std::size_t i = 0; i < rfine.size(); ++i) {
        if (rfine[i].status.size() < 2 || rfine[i].status[1] != 'F' || rfine[i].sigma <= 0.0) continue;
        const double f = CLORENZ(rfine[i].tth);
        z.push_back((rfine[i].intensity / f - want[i]->intensity) / (rfine[i].sigma / f));
        if (std::getenv("TARNIVOX_FITRUN_DEBUG"))
            std::printf("  %4d %-6s I=%10.2f true=%10.2f sig=%8.2f z=%6.2f scale=%g\n", want[i]->nref,
                        rfine[i].status.c_str(), rfine[i].intensity / f, want[i]->intensity, rfine[i].sigma / f,
                        z.back(), want[i]->scale);
    }
    ASSERT_GE(z.size(), want.size() / 2) << "too few reflections passed";
    const double mean = std::accumulate(z.begin(), z.end(), 0.0) / static_cast<double>(z.size());
    double var = 0.0;
    for (double v : z) var += (v - mean) * (v - mean);
    const double sd = std::sqrt(var / static_cast<double>(z.size() - 1));
    std::printf("normalised errors, %s: n=%zu mean=%.3f sd=%.3f\n", GetParam().label, z.size(), mean, sd);
    EXPECT_NEAR(mean, 0.0, 0.1);
    EXPECT_GE(sd, 0.9);
    EXPECT_LE(sd, 1.2);
}

INSTANTIATE_TEST_SUITE_P(EveryInputFormat, AutoFitRun, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<FormatCase>& i) {
                             std::string n = i.param.label;
                             n.erase(std::remove(n.begin(), n.end(), ' '), n.end());
                             return n;
                         });

}  // namespace
}  // namespace tarnivox::fitrun

namespace tarnivox::fitrun {
namespace {

// The file a run names in its summary is whole at the run's "End of File",
// not only when the program exits: a session that then ends abnormally
// (here its script runs out, which keeps every unfinished output as
// NAME.partial) leaves it in place, and a second run appending to it in
// place follows its records.
TEST_F(FitRun, AutomaticRunPutsItsFileInPlaceAtTheEndOfTheDataSet) {
    sim::Config c = config_of(sim::Format::Cad4, 40);
    simulate(c);
    // The second run: replace or append?  No, append in place.  Then the script runs out.
    const std::string script = opening("Enraf CAD4", 0.0, 3) + kAutoRun + "command 322\nanswer no\n" +
                               "press \"Peak parameter default values\" \"Save + Exit\"\npress main Start\npress main Nowhere\n";
    backend_ = &test::install_quiet_script(script, dir_.string());
    try {
        TARNIVOX_MAIN();
    } catch (const ProgramEnd& e) {
        EXPECT_NE(e.status, EXIT_STATUS_NORMAL) << e.message;
        finish_run(e);
    }
    ASSERT_TRUE(fs::exists(dir_ / "out.txt"));
    EXPECT_FALSE(fs::exists(dir_ / "out.txt.partial"));
    const std::vector<Written> got = read_intensity_file(dir_ / "out.txt", 3);
    ASSERT_GT(got.size(), 20u);
    EXPECT_EQ(got.size() % 2, 0u);
    EXPECT_EQ(got[0].h, got[got.size() / 2].h);
    EXPECT_EQ(got[0].k, got[got.size() / 2].k);
}

}  // namespace
}  // namespace tarnivox::fitrun
