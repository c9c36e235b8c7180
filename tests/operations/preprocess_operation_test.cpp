// Preprocessing and the width law called as operations, without a window,
// on simulated CAD4 data: the list equals the window's, a full list keeps
// what the raised threshold keeps, a stop keeps what was stored, and the
// width law comes out near the simulated one.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/fit_run_fixture.h"
#include "io/layout.h"
#include "operations/fwhm_law.h"
#include "operations/open_data_set.h"
#include "operations/preprocess.h"

namespace tarnivox::fitrun {
namespace {

// One entry of the refinement list, compared exactly.
struct Entry {
    int h, k, l;
    double tth, om, chi, phi, fw, fws, bg;
    bool operator==(const Entry&) const = default;
};

std::vector<Entry> refinement_list() {
    std::vector<Entry> out;
    for (int n = 1; n <= G.NUBREF; ++n)
        out.push_back({G.IHREF(n, 1), G.IHREF(n, 2), G.IHREF(n, 3), G.TTHREF(n), G.OMREF(n), G.CHIREF(n),
                       G.PHIREF(n), G.FWREF(n), G.FWSREF(n), G.BGREF(n)});
    return out;
}

// Asks for a stop once `after` reflections have been fitted.
struct StopAfter : Progress {
    int after = 0, done = 0;
    void advance(int d, int) override { done = d; }
    bool stop_requested() const override { return done >= after; }
};

class PreprocessOperation : public FitRun {
protected:
    static sim::Config config(int nrefl) {
        sim::Config c;
        c.format = sim::Format::Cad4;
        c.seed = 31;
        c.nrefl = nrefl;
        c.scale_i = 20000.0;
        return c;
    }
    // A clean program with the simulated data set opened as a library
    // user opens it.
    void open_directly() {
        reset_store();
        close_all_units();
        MessageList opening;
        const OpenDataSetResult r = open_data_set(
            {(dir_ / data_name_).string(), FORMAT_CAD4, (dir_ / "data.par").string(), {}}, opening);
        ASSERT_TRUE(r.opened) << r.failure;
        ASSERT_TRUE(open_log((dir_ / "direct.log").string(), opening));
    }
    static bool has(const MessageList& m, MessageKind kind, const std::string& title,
                    const std::string& text) {
        return std::any_of(m.all.begin(), m.all.end(), [&](const Message& x) {
            return x.kind == kind && x.title == title && x.text == text;
        });
    }
};

TEST_F(PreprocessOperation, DirectRunKeepsTheWindowsListAndReportsIt) {
    simulate(config(300));
    ASSERT_EQ(run(opening("Enraf CAD4", 0.0, 0) + "command 331\npress \"Preprocessing Control\" Go\n"), "");
    const std::vector<Entry> window = refinement_list();
    ASSERT_GT(window.size(), 50u);

    open_directly();
    G.SKIPWEAK = 0;
    MessageList messages;
    Progress progress;
    const PreprocessResult r = preprocess({}, progress, messages);
    // The fit starts from the same controls for every reflection, as the
    // window's run does: the same entries, bit for bit.
    EXPECT_EQ(refinement_list(), window);
    EXPECT_EQ(r.stored, G.NUBREF);
    EXPECT_EQ(r.qualified, G.NUBREF);
    EXPECT_FALSE(r.list_full || r.stopped);
    EXPECT_EQ(r.raised_to, 0.0);
    EXPECT_EQ(G.PREPFLAG, 1);
    EXPECT_EQ(G.SKIPWEAK, 0);  // the user's switch is back
    EXPECT_TRUE(has(messages, MessageKind::Summary, "TARNIVOX",
                    format_record("(I5,' Reflections stored for fitting')", {G.NUBREF})));
    flush_unit(LU_LOG);
    const auto log = lines_of(dir_ / "direct.log");
    EXPECT_NE(
        std::find(log.begin(), log.end(), "          SUMMARY OF REFLECTIONS FIT WITH PREPROCESS UTILITY"),
        log.end());

    // The width law from the list's widths: near the simulated one, logged,
    // and stored only by learn_fwhm_law.
    G.FWHMA = G.FWHMB = -1.0;
    const FwhmLawResult fitted = fit_fwhm_law(messages);
    ASSERT_TRUE(fitted.found);
    EXPECT_EQ(G.FWHMA, -1.0);
    const FwhmLawResult law = learn_fwhm_law(messages);
    EXPECT_EQ(G.FWHMA, law.a);
    EXPECT_EQ(G.FWHMB, law.b);
    std::printf("width law from %d widths: A %.4f (%.4f), B %.4f (%.4f); simulated 0.12, 0.35\n", law.fitted,
                law.a, law.esd_a, law.b, law.esd_b);
    EXPECT_GT(law.fitted, 20);
    EXPECT_NEAR(law.a, 0.12, 4.0 * law.esd_a);
    EXPECT_NEAR(law.b, 0.35, 4.0 * law.esd_b);
    // Widths without esds give no law, and the one in force stays.
    for (int n = 1; n <= G.NUBREF; ++n) G.FWSREF(n) = 0.0;
    const FwhmLawResult none = learn_fwhm_law(messages);
    EXPECT_FALSE(none.found);
    EXPECT_EQ(G.FWHMA, law.a);
    EXPECT_EQ(G.FWHMB, law.b);

    // Stopped from outside: what was stored so far is kept and reported.
    open_directly();
    StopAfter stop;
    stop.after = 100;
    MessageList stopped_messages;
    const PreprocessResult s = preprocess({}, stop, stopped_messages);
    EXPECT_TRUE(s.stopped);
    EXPECT_EQ(s.fitted, 100);
    EXPECT_EQ(G.PREPFLAG, 1);
    const std::vector<Entry> part = refinement_list();
    ASSERT_LT(part.size(), window.size());
    EXPECT_TRUE(std::equal(part.begin(), part.end(), window.begin()));
    EXPECT_TRUE(has(stopped_messages, MessageKind::Summary, "TARNIVOX",
                    format_record("(I5,' Reflections stored for fitting')", {G.NUBREF})));
}

TEST_F(PreprocessOperation, FullListKeepsWhatTheRaisedThresholdKeeps) {
    sim::Config c = config(1250);
    c.weak_fraction = 0.0;
    c.zero_fraction = 0.0;
    c.nstd = 0;
    simulate(c);

    open_directly();
    PreprocessRequest strongest;
    strongest.min_i_sigma = 3.0;
    strongest.keep_strongest = true;
    MessageList messages;
    Progress progress;
    const PreprocessResult r = preprocess(strongest, progress, messages);
    std::printf("%d of %d strong reflections kept, threshold raised to %.1f\n", r.stored, r.qualified,
                r.raised_to);
    ASSERT_EQ(r.stored, MAXREFLIST);
    EXPECT_GT(r.qualified, MAXREFLIST);
    EXPECT_GT(r.raised_to, 3.0);
    EXPECT_FALSE(r.list_full);
    EXPECT_TRUE(has(messages, MessageKind::Notice, "TARNIVOX",
                    format_record("('I/sigma threshold raised from ',F5.1,' to ',F7.1,': the ',I4,"
                                  "' strongest of ',I7,' reflections kept')",
                                  {3.0, r.raised_to, MAXREFLIST, r.qualified})));
    const std::vector<Entry> kept = refinement_list();

    // A run with the threshold it rose to keeps the same entries in the
    // same order.
    open_directly();
    PreprocessRequest raised;
    raised.min_i_sigma = r.raised_to;
    MessageList again;
    const PreprocessResult a = preprocess(raised, progress, again);
    EXPECT_FALSE(a.list_full);
    EXPECT_EQ(refinement_list(), kept);

    // Without keeping the strongest the run is abandoned at the full list,
    // and no list counts as preprocessed.
    open_directly();
    PreprocessRequest plain;
    plain.min_i_sigma = 3.0;
    MessageList full;
    const PreprocessResult f = preprocess(plain, progress, full);
    EXPECT_TRUE(f.list_full);
    EXPECT_EQ(G.PREPFLAG, 0);
    ASSERT_FALSE(full.all.empty());
    EXPECT_EQ(full.all.back().kind, MessageKind::Error);
    EXPECT_EQ(full.all.back().text, "Too many reflections: Increase I/sig");
}

}  // namespace
}  // namespace tarnivox::fitrun
