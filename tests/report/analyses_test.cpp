#include "report/analyses.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "report/merging.h"
#include "report/report.h"
#include "report_sim.h"

namespace tarnivox::report {
namespace {

using testing::simulated_run;
using testing::Truth;

TEST(ReportDecay, RecoversKnownDecayWithHonestEsdAndFlagsOnlyRealDecay) {
    // Over many seeds the fitted decay scatters about the truth as its esd
    // says: the pulls have unit spread and stay within 3 esd.
    double sum_pull2 = 0.0;
    const int nseeds = 12;
    for (int seed = 1; seed <= nseeds; ++seed) {
        Truth tr;
        tr.seed = static_cast<std::uint64_t>(seed);
        tr.decay = 0.06;
        tr.stol_max = 0.35;
        const StandardsAnalysis sa = analyse_standards(simulated_run(tr).refl);
        ASSERT_TRUE(sa.overall.ok);
        ASSERT_EQ(sa.standards.size(), 3u);
        const double pull = (sa.overall.decay_pct - 6.0) / sa.overall.esd_pct;
        EXPECT_LT(std::fabs(pull), 3.0) << "seed " << seed << " decay " << sa.overall.decay_pct;
        EXPECT_TRUE(sa.overall.flagged);
        for (const auto& s : sa.standards) EXPECT_LT(std::fabs(s.fit.decay_pct - 6.0), 3.0 * s.fit.esd_pct);
        sum_pull2 += pull * pull;
    }
    const double rms_pull = std::sqrt(sum_pull2 / nseeds);
    EXPECT_GT(rms_pull, 0.4);
    EXPECT_LT(rms_pull, 1.7);

    Truth stable;
    stable.stol_max = 0.35;
    const StandardsAnalysis sa = analyse_standards(simulated_run(stable).refl);
    ASSERT_TRUE(sa.overall.ok);
    EXPECT_FALSE(sa.overall.flagged) << sa.overall.decay_pct << " +- " << sa.overall.esd_pct;
}

TEST(ReportDecay, GenerousStandardEsdsNeverShrinkTheDecayEsd) {
    // Standards whose esds exceed their scatter (goodness of fit under 1,
    // as fitted intensities usually give) keep the esd their own esds give:
    // tripling every standard's esd must widen the decay's esd, where
    // scaling by the goodness of fit would leave it unchanged and flag
    // noise as decay.
    for (int seed = 1; seed <= 4; ++seed) {
        Truth tr;
        tr.seed = static_cast<std::uint64_t>(seed);
        tr.stol_max = 0.35;
        ReportInput in = simulated_run(tr);
        const StandardsAnalysis plain = analyse_standards(in.refl);
        for (auto& r : in.refl)
            if (r.standard != 0) r.sigma *= 3.0;
        const StandardsAnalysis generous = analyse_standards(in.refl);
        ASSERT_TRUE(plain.overall.ok && generous.overall.ok);
        EXPECT_LT(generous.overall.gof, 1.0);
        EXPECT_GT(generous.overall.esd_pct, 1.4 * plain.overall.esd_pct) << "seed " << seed;
        EXPECT_FALSE(generous.overall.flagged);
    }
}

TEST(ReportDecay, CorrectionLeavesTheStandardsFlatWithinTheirEsds) {
    Truth tr;
    tr.decay = 0.10;
    tr.stol_max = 0.35;
    ReportInput in = simulated_run(tr);
    in.decay_correct = true;
    const ReportFigures fig = analyse_run(in);
    ASSERT_TRUE(fig.standards.overall.flagged);
    ASSERT_TRUE(fig.decay_corrected);
    EXPECT_FALSE(fig.standards_corrected.overall.flagged);
    EXPECT_LT(std::fabs(fig.standards_corrected.overall.decay_pct),
              3.0 * fig.standards_corrected.overall.esd_pct);
    // The factor at the end of the run undoes the loss; at the start it is 1.
    EXPECT_NEAR(decay_factor(fig.standards.overall, 0.0), 1.0, 1e-12);
    EXPECT_NEAR(decay_factor(fig.standards.overall, 1.0), 1.0 / 0.9, 0.02);

    // Without standards (or with one measurement each) there is no fit and
    // the correction changes nothing.
    ReportInput none = in;
    for (auto& r : none.refl) r.standard = 0;
    const ReportFigures nf = analyse_run(none);
    EXPECT_FALSE(nf.standards.overall.ok);
    EXPECT_FALSE(nf.decay_corrected);
}

TEST(ReportWilson, RecoversBAndScaleWithUnitScatteringAndCellContents) {
    for (bool contents : {false, true}) {
        Truth tr;
        tr.b = 2.5;
        tr.scale = contents ? 0.5 : 4000.0;
        if (contents) tr.composition = {{"C", 40.0}, {"O", 8.0}, {"N", 4.0}};
        const WilsonFit wf = wilson_plot(simulated_run(tr));
        ASSERT_TRUE(wf.ok) << wf.message;
        EXPECT_EQ(wf.unit_scattering, !contents);
        EXPECT_NEAR(wf.b, tr.b, 0.10 * tr.b) << "contents " << contents;
        EXPECT_LT(std::fabs(wf.b - tr.b), 3.0 * wf.b_esd + 0.02) << "contents " << contents;
        EXPECT_NEAR(wf.scale, tr.scale, 0.10 * tr.scale) << "contents " << contents;
    }
    ReportInput bad = simulated_run(Truth{});
    bad.composition = {{"Qq", 3.0}};
    const WilsonFit wf = wilson_plot(bad);
    EXPECT_FALSE(wf.ok);
    EXPECT_NE(wf.message.find("Qq"), std::string::npos);
}

// R(int) computed here with the test's own grouping of 2/m equivalents.
double independent_rint(const ReportInput& in) {
    std::map<std::array<int, 3>, std::vector<double>> groups;
    for (const ReportReflection* r : measured_once(in.refl))
        groups[testing::canonical_2m(r->hkl)].push_back(r->i);
    double num = 0.0, den = 0.0;
    for (const auto& [c, v] : groups) {
        if (v.size() < 2) continue;
        double mean = 0.0;
        for (double x : v) mean += x / static_cast<double>(v.size());
        for (double x : v) {
            num += std::fabs(x - mean);
            den += x;
        }
    }
    return num / den;
}

TEST(ReportMerging, RintRedundancyAndCompletenessOfSimulatedEquivalents) {
    Truth tr;
    tr.stol_max = 0.45;
    const ReportInput in = simulated_run(tr);
    const MergeStats m = merge_statistics(in);
    ASSERT_TRUE(m.ok) << m.message;
    EXPECT_NEAR(m.rint, independent_rint(in), 1e-12);
    // Expected value: equivalents differ only by their counting noise, so
    // E|I - <I>| = sigma sqrt((n-1)/n) sqrt(2/pi).
    std::map<std::array<int, 3>, std::pair<int, double>> groups;
    double sum_i = 0.0;
    for (const ReportReflection* r : measured_once(in.refl)) {
        auto& g = groups[testing::canonical_2m(r->hkl)];
        ++g.first;
        g.second = r->sigma;
    }
    double expected = 0.0;
    for (const auto& [c, g] : groups)
        if (g.first > 1)
            expected += g.first * g.second * std::sqrt((g.first - 1.0) / g.first) * std::sqrt(2.0 / M_PI);
    for (const ReportReflection* r : measured_once(in.refl))
        if (groups[testing::canonical_2m(r->hkl)].first > 1) sum_i += r->i;
    EXPECT_NEAR(m.rint, expected / sum_i, 0.05 * expected / sum_i);
    EXPECT_EQ(m.n_unique, static_cast<int>(groups.size()));
    EXPECT_NEAR(m.redundancy, static_cast<double>(m.n_obs) / m.n_unique, 1e-12);
    EXPECT_NEAR(m.completeness, 100.0, 1e-9);
    EXPECT_NEAR(m.d_min, 0.5 / 0.45, 0.02);
    EXPECT_GT(m.rsigma, 0.0);

    // Only the positive octant: half of the 2/m unique set, except the
    // reflections on the h0l plane and on the axes that the octant holds whole.
    Truth oct = tr;
    oct.octant_only = true;
    const ReportInput part = simulated_run(oct);
    const MergeStats mp = merge_statistics(part);
    ASSERT_TRUE(mp.ok);
    std::map<std::array<int, 3>, int> in_octant;
    for (const ReportReflection* r : measured_once(part.refl)) in_octant[testing::canonical_2m(r->hkl)] = 1;
    EXPECT_EQ(mp.n_possible, m.n_unique);
    EXPECT_NEAR(mp.completeness, 100.0 * static_cast<double>(in_octant.size()) / m.n_unique, 1e-9);
    EXPECT_LT(mp.completeness, 70.0);

    // Laue class -1 keeps only Friedel pairs together; an unknown symbol
    // gives a reason instead of figures.
    ReportInput tri = in;
    tri.laue = "-1";
    EXPECT_GT(merge_statistics(tri).n_unique, m.n_unique);
    EXPECT_EQ(merging_group("mmm"), "P m m m");
    // The crystal systems of the cell refinement name groups that gemmi knows.
    for (const char* sys : {"monoclinic-b", "monoclinic-c", "orthorhombic", "tetragonal", "hexagonal", "cubic"})
        EXPECT_FALSE(merging_group(laue_for_crystal_system(sys)).empty()) << sys;
    tri.laue = laue_for_crystal_system("monoclinic-b");
    EXPECT_EQ(merge_statistics(tri).n_unique, m.n_unique);
    tri.laue = "7/q";
    const MergeStats bad = merge_statistics(tri);
    EXPECT_FALSE(bad.ok);
    EXPECT_NE(bad.message.find("7/q"), std::string::npos);
}

TEST(ReportMerging, SpaceGroupAbsencesLeaveCompletenessWholeAndSymmetryMustFitTheCell) {
    // P2_1/c extinguishes h0l with l odd and 0k0 with k odd.  Measured
    // without them, every allowed reflection present: 100 % for the space
    // group, short of it for the bare Laue class, which counts the absences
    // as missing.  Measured with them, they are counted apart, not merged.
    Truth tr;
    tr.stol_max = 0.4;
    ReportInput all = simulated_run(tr);
    ReportInput allowed = all;
    std::erase_if(allowed.refl, [](const ReportReflection& r) {
        return (r.hkl[1] == 0 && r.hkl[2] % 2 != 0) || (r.hkl[0] == 0 && r.hkl[2] == 0 && r.hkl[1] % 2 != 0);
    });
    for (const char* group : {"P21/c", "P 1 21/c 1"}) {
        allowed.laue = group;
        const MergeStats sg = merge_statistics(allowed);
        ASSERT_TRUE(sg.ok) << sg.message;
        EXPECT_TRUE(sg.space_group);
        EXPECT_EQ(sg.laue, "2/m");
        EXPECT_DOUBLE_EQ(sg.completeness, 100.0) << group;
    }
    allowed.laue = "2/m";
    EXPECT_LT(merge_statistics(allowed).completeness, 99.0);
    all.laue = space_group_symbol("14");
    EXPECT_EQ(all.laue, "P 1 21/c 1");
    const MergeStats with_absent = merge_statistics(all);
    EXPECT_GT(with_absent.n_absent, 0);
    allowed.laue = all.laue;
    EXPECT_EQ(with_absent.n_unique, merge_statistics(allowed).n_unique);
    EXPECT_DOUBLE_EQ(with_absent.completeness, 100.0);

    // The usual spellings of a Laue class; a bare number is none.
    EXPECT_EQ(merging_group("2/M"), "P 1 2/m 1");
    EXPECT_EQ(merging_group("MMM"), "P m m m");
    EXPECT_EQ(merging_group("-1"), "P -1");
    EXPECT_EQ(merging_group("0"), "");
    EXPECT_EQ(merging_group("14"), "");
    EXPECT_EQ(space_group_symbol("231"), "");
    EXPECT_EQ(laue_class_of("P212121"), "mmm");

    // A monoclinic cell cannot be cubic or orthorhombic; a refined
    // orthorhombic cell a little off 90 degrees is orthorhombic.
    const std::array<double, 6> mono{7.5, 9.1, 11.3, 90.0, 101.5, 90.0};
    EXPECT_NE(cell_symmetry_conflict(mono, "m-3m"), "");
    EXPECT_NE(cell_symmetry_conflict(mono, "mmm"), "");
    EXPECT_EQ(cell_symmetry_conflict(mono, "2/m"), "");
    EXPECT_EQ(cell_symmetry_conflict(mono, "P21/c"), "");
    EXPECT_EQ(cell_symmetry_conflict({7.5003, 9.0996, 11.3002, 90.02, 89.97, 90.01}, "mmm"), "");
    EXPECT_NE(cell_symmetry_conflict({7.5, 7.6, 11.3, 90.0, 90.0, 90.0}, "4/mmm"), "");
}

TEST(ReportStatistics, ShellsAndHistogramCountEveryReflectionOnceAndWeakenOutward) {
    Truth tr;
    tr.b = 4.0;
    ReportInput in = simulated_run(tr);
    // Reject a tenth of the reflections, all at high angle with letter B.
    int nrej = 0;
    for (auto& r : in.refl)
        if (r.standard == 0 && r.tth > 35.0 && (r.seq % 10) == 0) {
            r.outcome = Outcome::Rejected;
            r.reason = 'B';
            ++nrej;
        }
    const auto once = measured_once(in.refl);
    const std::vector<Shell> shells = resolution_shells(in);
    ASSERT_EQ(shells.size(), 10u);
    int n = 0, rej = 0;
    for (const auto& s : shells) {
        n += s.n;
        rej += s.n_rejected;
        EXPECT_EQ(s.n, s.n_rejected + s.n_accepted);
    }
    EXPECT_EQ(n, static_cast<int>(once.size()));
    EXPECT_EQ(rej, nrej);
    EXPECT_GT(shells.front().mean_i_over_sigma, 2.0 * shells.back().mean_i_over_sigma);
    EXPECT_GT(shells.back().pct_weak, shells.front().pct_weak);
    EXPECT_DOUBLE_EQ(shells.front().pct_rejected, 0.0);
    EXPECT_GT(shells.back().pct_rejected, 5.0);
    EXPECT_NEAR(shells.back().d_min, 1.0, 1e-3);

    const Histogram h = i_over_sigma_histogram(in.refl);
    int hn = 0;
    for (int c : h.counts) hn += c;
    EXPECT_EQ(hn, static_cast<int>(once.size()) - nrej);

    const Limits lim = data_limits(in);
    EXPECT_EQ(lim.n_measured, static_cast<int>(once.size()));
    EXPECT_NEAR(std::sin(lim.theta_max / 57.29578) / in.wave1, 0.5, 1e-3);
    EXPECT_EQ(lim.index_min[0], -lim.index_max[0]);

    const Diagnostics dg = fit_diagnostics(in);
    ASSERT_EQ(dg.rejected.count('B'), 1u);
    int bn = 0;
    for (int c : dg.rejected.at('B')) bn += c;
    EXPECT_EQ(bn, nrej);
    // 2theta computed from the cell: delta-d/d is nil without a trend.
    ASSERT_TRUE(dg.dd_trend.ok);
    EXPECT_NEAR(dg.dd_trend.b, 0.0, 1e-9);
    EXPECT_FALSE(dg.gof_is_rwp);
}

}  // namespace
}  // namespace tarnivox::report
