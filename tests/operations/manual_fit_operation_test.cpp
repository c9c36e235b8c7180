// Manual fitting called directly, step by step, as another program would:
// the fits and records equal those of the window's "Manual profile fit"
// given the same steps, the intensities it would write agree with the
// simulated ones within their esds, and without a data set it refuses.
#include "operations/manual_fit.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <numeric>

#include "e2e/fit_run_fixture.h"
#include "operations/fit_controls.h"
#include "operations/open_data_set.h"
#include "toolkit/toolkit.h"

namespace tarnivox::fitrun {
namespace {

class ManualFitOperation : public FitRun {
protected:
    // The data set "data" opened without a window, the intensity file
    // `out` open in the Rfine form.
    void open_without_window(const std::string& out, MessageList& messages) {
        set_toolkit_backend(nullptr);
        set_message_sink({});
        close_all_units();
        reset_store();
        OpenDataSetRequest open;
        open.data = (dir_ / data_name_).string();
        open.format = FORMAT_STANDARD;
        open.parameters = (dir_ / "data.par").string();
        ASSERT_TRUE(open_data_set(open, messages).opened);
        ASSERT_EQ(open_unit(LU_OUTPUT, (dir_ / out).string(), OpenMode::Replace), 0);
        G.OUTOPEN = 1;
        G.INTFMT = 1;
    }
    static ManualFitRequest step(ManualStep s) {
        ManualFitRequest r;
        r.step = s;
        return r;
    }
};

TEST_F(ManualFitOperation, StepsGiveTheWindowsFitsAndRecords) {
    sim::Config c;
    c.format = sim::Format::Standard;
    c.seed = 23;
    c.nrefl = 12;
    c.step = 0.02;
    simulate(c);
    const std::string script = opening("Standard", 0.0, 1) +
                               "command 321\n"
                               "press main Next\n"
                               "press main Accept\n"
                               "set \"Fitting Controls & Results\" \"FWHM Input\" 0.3\n"
                               "press main Refit\n"
                               "press main Accept\n"
                               "press main Reject\n"
                               "press main Previous\n"
                               "press main Accept\n"
                               "press main Exit\n";
    ASSERT_EQ(run(script), "");
    const std::string window = test::read_text(dir_ / "out.txt");
    ASSERT_EQ(lines_of(dir_ / "out.txt").size(), 3u);

    MessageList messages;
    open_without_window("direct.txt", messages);
    ManualFit walk(messages);
    ASSERT_TRUE(walk.open());
    const ManualFitResult first = walk.step(step(ManualStep::Current));
    ASSERT_TRUE(first.fitted);
    EXPECT_EQ(first.sequence, G.NREF);
    const ManualFitResult second = walk.step(step(ManualStep::Next));
    const ManualFitResult third = walk.step(step(ManualStep::Accept));
    EXPECT_TRUE(third.accepted);
    EXPECT_EQ(third.accepted_sequence, second.sequence);
    EXPECT_EQ(third.sequence, second.sequence + 1);
    // A refit starts from the values given, here a typed FWHM, and leaves
    // the start values as they were given.
    ManualFitRequest refit = step(ManualStep::Refit);
    refit.controls = third.start;
    refit.controls->PAR(P_FWHM) = 0.3;
    const ManualFitResult refitted = walk.step(refit);
    EXPECT_EQ(refitted.start.PAR(P_FWHM), 0.3);
    EXPECT_EQ(refitted.sequence, third.sequence);
    walk.step(step(ManualStep::Accept));
    walk.step(step(ManualStep::Reject));
    const ManualFitResult back = walk.step(step(ManualStep::Previous));
    EXPECT_EQ(back.sequence, third.sequence + 1);
    // Moving recomputes the start values from the switches: the typed FWHM
    // stays the user's, the position is the step of the largest count.
    EXPECT_EQ(back.start.PAR(P_FWHM), 0.3);
    EXPECT_NE(back.start.PAR(P_POSITION), refitted.start.PAR(P_POSITION));
    walk.step(step(ManualStep::Accept));
    close_unit(LU_OUTPUT);
    EXPECT_EQ(test::read_text(dir_ / "direct.txt"), window);

    // The result is the fit in the store and the record as written: the
    // intensity and esd the result gives are those of the written record.
    const std::vector<Written> records = read_intensity_file(dir_ / "direct.txt", 1);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].nref, refitted.sequence);
    EXPECT_NEAR(records[1].intensity, refitted.written_intensity, 0.5e-3 * std::fabs(refitted.written_intensity) + 0.6);
    EXPECT_NEAR(records[1].sigma, refitted.written_sigma, 0.5e-3 * refitted.written_sigma + 0.6);
    EXPECT_EQ(records[1].status.substr(1, 2), "F ");  // accepted: passed, no reason
}

// Walking a whole data set through the operation: the intensities it would
// write for the fits that passed scatter about the simulated ones as their
// esds say, and the peak positions within theirs.
TEST_F(ManualFitOperation, WouldWriteTheSimulatedIntensitiesWithinTheirEsds) {
    sim::Config c;
    c.format = sim::Format::Standard;
    c.seed = 41;
    c.nrefl = 400;
    c.step = 0.02;
    const sim::Result truth = simulate(c);
    std::map<int, const sim::Truth*> by_number;
    for (const sim::Truth& t : truth.refl)
        if (t.in_data_set) by_number[t.nref] = &t;

    MessageList messages;
    open_without_window("unused.txt", messages);
    ManualFit walk(messages);
    std::vector<double> z, zpos;
    int fitted = 0;
    for (ManualFitResult r = walk.step(step(ManualStep::Current)); !r.ended; r = walk.step(step(ManualStep::Next))) {
        if (!r.fitted) continue;
        ++fitted;
        const auto t = by_number.find(r.sequence);
        ASSERT_NE(t, by_number.end()) << r.sequence;
        EXPECT_EQ(r.hkl, t->second->hkl);
        if (r.letter != 'F' || !r.writable) continue;
        // The written value is the fit's intensity, Lorentz-polarisation corrected.
        const double f = CLORENZ(t->second->angles[0]);
        EXPECT_NEAR(r.written_intensity, r.intensity * f, 1e-9 * std::fabs(r.intensity * f) + 1e-9);
        z.push_back((r.written_intensity / f - t->second->intensity) / (r.written_sigma / f));
        const double esd_position = r.esd[P_POSITION - 1];
        if (esd_position > 0.0) zpos.push_back((r.par[P_POSITION - 1] - t->second->position) / esd_position);
    }
    EXPECT_EQ(fitted, static_cast<int>(by_number.size()));
    ASSERT_GE(z.size(), by_number.size() / 2) << "too few reflections passed";
    const auto stats = [](const std::vector<double>& v, double& mean, double& sd) {
        mean = std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
        double var = 0.0;
        for (double x : v) var += (x - mean) * (x - mean);
        sd = std::sqrt(var / static_cast<double>(v.size() - 1));
    };
    double mean = 0.0, sd = 0.0;
    stats(z, mean, sd);
    std::printf("manual walk, intensities: n=%zu mean=%.3f sd=%.3f\n", z.size(), mean, sd);
    EXPECT_NEAR(mean, 0.0, 0.15);
    EXPECT_GE(sd, 0.85);
    EXPECT_LE(sd, 1.2);
    stats(zpos, mean, sd);
    std::printf("manual walk, positions: n=%zu mean=%.3f sd=%.3f\n", zpos.size(), mean, sd);
    EXPECT_NEAR(mean, 0.0, 0.2);
    EXPECT_LE(sd, 1.3);
}

// The fit-control commands: a typed value is a start value until "Reset
// to Defaults", which reads the parameter file again (undoing peak
// defaults changed since) and starts from its model alone.
TEST_F(ManualFitOperation, ResetToDefaultsStartsFromTheParameterFilesModel) {
    sim::Config c;
    c.format = sim::Format::Standard;
    c.seed = 7;
    c.nrefl = 5;
    c.step = 0.02;
    simulate(c);
    MessageList messages;
    open_without_window("unused.txt", messages);
    const FitControls from_file = G;
    const double ratio0 = G.RATIO0;
    ASSERT_GT(from_file.FWHMA, 0.0);
    FitControls typed = G;
    typed.PAR(P_FWHM) = 0.3;
    typed.PAR(P_ETA) = 0.9;
    typed.FWHMA = 2.0 * from_file.FWHMA;  // as changed in the peak defaults
    FitControls now = change_fit_controls(typed, 0);
    EXPECT_EQ(now.PAR(P_FWHM), 0.3);
    EXPECT_EQ(now.PAR(P_ETA), 0.9);

    now = reset_fit_controls(messages);
    EXPECT_EQ(now.FWHMA, from_file.FWHMA);
    const double theta = std::fabs(G.ANGLES(1)) / 2.0 / 57.29578;
    EXPECT_NEAR(now.PAR(P_FWHM), from_file.FWHMA + from_file.FWHMB * std::tan(theta), 1e-6);
    EXPECT_EQ(now.PAR(P_ETA), from_file.ETA0);
    EXPECT_EQ(now.PAR(P_IRATIO), ratio0);
    // The store holds what the reset returned: the next fit starts there.
    EXPECT_EQ(G.PAR(P_FWHM), now.PAR(P_FWHM));
}

TEST_F(ManualFitOperation, WithoutADataSetSaysWhatToDoAndTakesNoStep) {
    MessageList messages;
    set_message_sink({});
    close_all_units();
    reset_store();
    ManualFit walk(messages);
    EXPECT_FALSE(walk.open());
    ASSERT_EQ(messages.all.size(), 1u);
    EXPECT_EQ(messages.all[0].text, NO_DATA_SET_TEXT);
    EXPECT_EQ(messages.all[0].kind, MessageKind::Information);
    const ManualFitResult r = walk.step(step(ManualStep::Next));
    EXPECT_FALSE(r.fitted || r.accepted);
    EXPECT_EQ(messages.all.size(), 1u);
}

}  // namespace
}  // namespace tarnivox::fitrun
