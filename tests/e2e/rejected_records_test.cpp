// Reflections whose profile fit is rejected are written all the same, in
// every form of the intensity file: with the intensity summed over the peak
// the settings lead one to expect, an esd that says how far that is from
// the truth, and omega and direction cosines of where that peak lies, never
// of a runaway fitted position.

#include <cmath>
#include <numeric>
#include <string>

#include "e2e/fit_run_fixture.h"
#include "output/intensity_file.h"
#include "refine/corrections.h"

namespace tarnivox::fitrun {
namespace {

constexpr char kAutoRun[] =
    "command 322\n"
    "press \"Peak parameter default values\" \"Save + Exit\"\n"
    "press main Start\n";

// The eight layouts: the seven input formats, Xcalibur in both versions.
struct Layout {
    FormatCase format;
    bool xcal_newer;
    const char* name;
};

const Layout kLayouts[] = {
    {kFormats[0], true, "Standard"},     {kFormats[1], true, "Huber"},  {kFormats[2], true, "Xcalibur"},
    {kFormats[2], false, "XcaliburOld"}, {kFormats[3], true, "Xscans"}, {kFormats[4], true, "Stoe"},
    {kFormats[5], true, "Febo"},         {kFormats[6], true, "Cad4"},
};

int count_in_log(const std::vector<std::string>& log, const std::string& text) {
    for (const std::string& l : log)
        if (l.find(text) != std::string::npos) return std::stoi(l.substr(0, l.find(text)));
    return -1;
}

class RejectedRecords : public FitRun, public ::testing::WithParamInterface<Layout> {
protected:
    // One automatic run into an Rfine file; the rejected records' normalised
    // errors against the truth are appended to z.
    void run_and_collect(std::uint64_t seed, double scale_i, std::vector<double>& z) {
        TearDown();
        SetUp();
        sim::Config c;
        c.format = GetParam().format.format;
        c.xcal_newer = GetParam().xcal_newer;
        c.seed = seed;
        c.nrefl = 500;
        c.scale_i = scale_i;
        const sim::Result r = simulate(c);
        const bool asks_step = c.format == sim::Format::Huber || c.format == sim::Format::Febo;
        ASSERT_EQ(run(opening(GetParam().format.label, asks_step ? r.step_to_enter : 0.0, 1) + kAutoRun), "");
        std::vector<const sim::Truth*> want;
        for (const sim::Truth& t : r.refl)
            if (t.in_data_set) want.push_back(&t);
        const std::vector<Written> got = read_intensity_file(dir_ / "out.txt", 1);
        // Every reflection is in the file, the rejected ones too.
        ASSERT_EQ(got.size(), want.size());
        int rejected = 0;
        for (std::size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i].nref, want[i]->nref);
            if (got[i].status[1] != 'R') continue;
            ++rejected;
            // The omega column of a rejected fit is where its peak was
            // expected, the setting or where the file's orientation matrix
            // indexes the reflection best: within a width of the setting,
            // never a runaway fitted position.
            ASSERT_TRUE(std::isfinite(got[i].omega));
            EXPECT_LT(std::fabs(got[i].omega - want[i]->angles[1]), 0.2) << want[i]->nref;
            const double f = CLORENZ(got[i].tth);
            z.push_back((got[i].intensity - f * want[i]->intensity) / got[i].sigma);
        }
        // The summary counts what the file holds.
        const auto log = lines_of(dir_ / "data_Tarnivox.log");
        EXPECT_EQ(count_in_log(log, " REJECTED, WRITTEN FROM SUMMATION"), rejected);
        EXPECT_EQ(count_in_log(log, " TOTAL REFLECTIONS PASSED") + rejected, static_cast<int>(got.size()));
    }
};

// Pooled over two seeds of an ordinary and of a weak data set, so that
// the mean is known to about 0.05.
TEST_P(RejectedRecords, SummedIntensitiesAgreeWithTruthWithinTheirEsds) {
    std::vector<double> z;
    for (const double scale_i : {2000.0, 100.0})
        for (const std::uint64_t seed : {3u, 4u}) {
            run_and_collect(seed, scale_i, z);
            if (HasFatalFailure()) return;
        }
    ASSERT_GE(z.size(), 120u);
    const double mean = std::accumulate(z.begin(), z.end(), 0.0) / static_cast<double>(z.size());
    double var = 0.0;
    for (double v : z) var += (v - mean) * (v - mean);
    const double sd = std::sqrt(var / static_cast<double>(z.size() - 1));
    std::printf("rejected reflections, %s: n=%zu mean=%.3f sd=%.3f\n", GetParam().name, z.size(), mean, sd);
    EXPECT_NEAR(mean, 0.0, 0.3);
    EXPECT_LE(sd, 1.3);
    EXPECT_GE(sd, 0.7);
}

INSTANTIATE_TEST_SUITE_P(EveryLayout, RejectedRecords, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<Layout>& i) { return std::string(i.param.name); });

std::string refine_with_omega_zero() {
    return "command 331\npress \"Preprocessing Control\" Go\n"
           "command 332\ntoggle \"Unit Cell Refinement\" \"Refine omega zero\" on\n"
           "press \"Unit Cell Refinement\" Refine\npress \"Cell Refinement Results\" Ok\n";
}

// An instrument with an omega zero and a parallel monochromator (an alpha2
// dispersion shift): the SHELX cosines of every record, rejected ones
// included, are those of the true orientation with the crystal at the
// written omega, and a rejected record's omega is where the peak lies.
TEST_F(FitRun, DirectionCosinesOfEveryRecordFollowTheTrueGeometry) {
    sim::Config c;
    c.format = sim::Format::Cad4;
    c.seed = 9;
    c.nrefl = 400;
    c.monodir = 1;
    c.om_zero = 0.06;
    const std::string fit_all =
        "command 322\npress \"Peak parameter default values\" \"Save + Exit\"\nenter main ISEQ 1\n"
        "press main Start\n";
    const auto once = [&](int intfmt) {
        TearDown();
        SetUp();
        const sim::Result r = simulate(c);
        EXPECT_EQ(run(opening("Enraf CAD4", 0.0, intfmt) + refine_with_omega_zero() + fit_all), "");
        EXPECT_EQ(G.UBFLAG, 1);
        return r;
    };
    once(1);
    const std::vector<Written> rfine = read_intensity_file(dir_ / "out.txt", 1);
    const sim::Result r = once(3);
    const std::vector<Written> shelx = read_intensity_file(dir_ / "out.txt", 3);
    std::vector<const sim::Truth*> want;
    for (const sim::Truth& t : r.refl)
        if (t.in_data_set) want.push_back(&t);
    ASSERT_EQ(rfine.size(), want.size());
    ASSERT_EQ(shelx.size(), want.size());
    // A passed fit gives its POSITION; a rejected one the omega where the
    // refined orientation and omega zero put the peak, which is where the
    // instrument's geometry puts it (the simulated peaks scatter about it
    // by 0.01 degrees, and the refined omega zero and orientation are good
    // to about as much).
    std::vector<double> omegas;
    int rejected = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        omegas.push_back(rfine[i].omega);
        if (rfine[i].status[1] != 'R') continue;
        ++rejected;
        EXPECT_NEAR(rfine[i].omega, want[i]->angles[1] + c.om_zero, 0.015) << want[i]->nref;
    }
    EXPECT_GE(rejected, 20);
    expect_direction_cosines_of_true_geometry(shelx, want, sim::make_plan(c), omegas);
}

}  // namespace
}  // namespace tarnivox::fitrun
