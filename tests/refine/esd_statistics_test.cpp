// The esds of the refined cell must mean what a crystallographer reads them
// to mean: over many data sets with the same noise, the cell lies within
// three esds of the truth in at least 95 % of them, and the esd matches the
// scatter of the refined values.

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "refine/cell_lsq.h"
#include "refine/offsets.h"
#include "refine/shift_lsq.h"
#include "refine/ub_lsq.h"
#include "refine_fixture.h"

namespace tarnivox {
namespace {

using testdata::GeometryOptions;

constexpr int TRIALS = 100;

// Slots 1..7: a, b, c, alpha, beta, gamma, volume; 8: omega zero;
// 9..11: the crystal offset.
struct Tally {
    int trials = 0;
    int within3[12] = {};
    double sum[12] = {}, sum2[12] = {}, esd[12] = {};
};

// Errors of single angles (degrees), on top of the options' noise on all
// four: the scan measures omega, the others are setting angles.
struct AngleNoise {
    double tth = 0.0, omega = 0.0;
};

// Runs the trials; `refine` refines the cell of the refinement list.
template <class Refine>
Tally run_trials(GeometryOptions opt, Refine refine, int trials = TRIALS, int nrefl = 200,
                 AngleNoise single = {}) {
    Tally t;
    t.trials = trials;
    std::mt19937_64 rng(99);
    std::normal_distribution<double> gauss(0.0, 1.0);
    for (int trial = 1; trial <= trials; ++trial) {
        reset_store();
        opt.seed = 1000u + static_cast<unsigned>(trial);
        testdata::set_instrument(opt);
        testdata::ReflectionSet set;
        EXPECT_EQ(testdata::make_reflections(opt, nrefl, set), nrefl);
        for (int n = 1; n <= set.n; ++n) {
            set.ang(n, 1) += single.tth * gauss(rng);
            set.ang(n, 2) += single.omega * gauss(rng);
        }
        testdata::load_refinement_list(set);
        refine();
        const double truth[12] = {0.0,         opt.cell[0], opt.cell[1], opt.cell[2],
                                  opt.cell[3], opt.cell[4], opt.cell[5], testdata::cell_volume(opt.cell),
                                  opt.omzero,  opt.xtaloff[0], opt.xtaloff[1], opt.xtaloff[2]};
        const double value[12] = {0.0,        G.CELL(1),     G.CELL(2),     G.CELL(3),
                                  G.CELL(4),  G.CELL(5),     G.CELL(6),     G.CELL(7),
                                  G.OMZERO,   G.XTALOFF(1),  G.XTALOFF(2),  G.XTALOFF(3)};
        const double esd[12] = {0.0,          G.CELLESD(1),  G.CELLESD(2),  G.CELLESD(3),
                                G.CELLESD(4), G.CELLESD(5),  G.CELLESD(6),  G.CELLESD(7),
                                G.OMZESD,     G.XOFFESD(1),  G.XOFFESD(2),  G.XOFFESD(3)};
        for (int k = 1; k <= 11; ++k) {
            if (std::fabs(value[k] - truth[k]) <= 3.0 * esd[k]) ++t.within3[k];
            t.sum[k] += value[k];
            t.sum2[k] += value[k] * value[k];
            t.esd[k] += esd[k];
        }
    }
    return t;
}

void check(const Tally& t, const std::vector<int>& params, const char* what, double limit = 1.5) {
    const double m = t.trials;
    for (int k : params) {
        const double mean = t.sum[k] / m;
        const double scatter = std::sqrt(std::fmax(t.sum2[k] / m - mean * mean, 0.0) * m / (m - 1.0));
        const double esd = t.esd[k] / m;
        const double ratio = esd / scatter;
        std::printf("%s %d: within 3 esd %d/%d, mean esd %.3g, scatter %.3g, ratio %.2f\n", what, k,
                    t.within3[k], t.trials, esd, scatter, ratio);
        EXPECT_GE(t.within3[k], 0.95 * m) << what << " parameter " << k;
        EXPECT_GT(ratio, 1.0 / limit) << what << " parameter " << k;
        EXPECT_LT(ratio, limit) << what << " parameter " << k;
    }
}

class EsdStatistics : public RefineTest {};

TEST_F(EsdStatistics, TriclinicUbLeastSquaresEsdsMatchScatter) {
    GeometryOptions opt;
    opt.cell = {7.3, 9.1, 11.7, 82.0, 97.5, 108.0};
    opt.rx = 31, opt.ry = -12, opt.rz = 140;
    opt.noise = 0.005;
    const Tally t = run_trials(opt, [] {
        AngTable ang;
        IhTable ih;
        refinement_list_tables(ang, ih);
        int ierr = -1;
        LSQ(G.NUBREF, ang, ih, ierr);
        ASSERT_EQ(ierr, 0);
    });
    check(t, {1, 2, 3, 4, 5, 6, 7}, "triclinic");
}

TEST_F(EsdStatistics, MonoclinicConstrainedEsdsMatchScatter) {
    GeometryOptions opt;
    // beta well away from 90 degrees, where the sine of the angle matters.
    opt.cell = {6.1, 15.3, 8.8, 90.0, 128.0, 90.0};
    opt.rx = 80, opt.ry = 10, opt.rz = -30;
    opt.noise = 0.005;
    const Tally t = run_trials(opt, [] {
        int ierr = -1;
        LSVEC(1, ierr);
        ASSERT_EQ(ierr, 0);
    });
    check(t, {1, 2, 3, 5, 7}, "monoclinic");
}

// Every crystal system on a cell of that system: the constrained cell lies
// within three esds of the truth and its esds match the scatter.
struct SystemCase {
    int isym;
    const char* name;
    testdata::Cell cell;
    std::vector<int> free;  // cell values the system leaves free
};

class SystemEsdStatistics : public EsdStatistics, public ::testing::WithParamInterface<SystemCase> {};

TEST_P(SystemEsdStatistics, ConstrainedCellWithinThreeEsdsAndEsdsMatchScatter) {
    const SystemCase& c = GetParam();
    GeometryOptions opt;
    opt.cell = c.cell;
    opt.rx = 41, opt.ry = -23, opt.rz = 65;
    opt.noise = 0.005;
    const int isym = c.isym;
    double worst = 0.0;
    const Tally t = run_trials(opt, [isym, &worst] {
        int ierr = -1;
        const CellLsqWork fit = LSVEC(isym, ierr);
        ASSERT_EQ(ierr, 0);
        worst = std::fmax(worst, symmetry_misfit(fit));
    });
    check(t, c.free, c.name);
    // Data that have the symmetry are never taken for data without it.
    std::printf("%s: largest misfit ratio %.2f\n", c.name, worst);
    EXPECT_LT(worst, SYMMETRY_MISFIT_LIMIT / 20.0);
}

INSTANTIATE_TEST_SUITE_P(
    AllSystems, SystemEsdStatistics,
    ::testing::Values(SystemCase{1, "monoclinic-b", {6.1, 15.3, 8.8, 90.0, 104.0, 90.0}, {1, 2, 3, 5, 7}},
                      SystemCase{2, "monoclinic-c", {7.2, 9.4, 12.6, 90.0, 90.0, 112.0}, {1, 2, 3, 6, 7}},
                      SystemCase{3, "orthorhombic", {5.9, 8.3, 13.1, 90.0, 90.0, 90.0}, {1, 2, 3, 7}},
                      SystemCase{4, "tetragonal", {7.7, 7.7, 11.9, 90.0, 90.0, 90.0}, {1, 3, 7}},
                      SystemCase{5, "hexagonal", {6.4, 6.4, 10.3, 90.0, 90.0, 120.0}, {1, 3, 7}},
                      SystemCase{6, "cubic", {9.3, 9.3, 9.3, 90.0, 90.0, 90.0}, {1, 7}}),
    [](const ::testing::TestParamInfo<SystemCase>& i) {
        std::string n = i.param.name;
        for (char& ch : n)
            if (ch == '-') ch = '_';
        return n;
    });

// The peak positions carry the errors of a real list: the scan measures
// omega (noise, and an omega zero and crystal offset the constrained fit
// cannot refine), while 2theta is the setting.  Omega errors move each
// observation across its reflection and hardly change the volume; taken as
// errors in every direction they made its esd half as large again as its
// scatter.  Errors of 2theta alone (the lengths of the reflections) must be
// covered as fully.
TEST_F(EsdStatistics, ConstrainedEsdsFollowTheAngleThatCarriesTheError) {
    GeometryOptions opt;
    opt.cell = {7.5, 9.1, 11.3, 90.0, 101.5, 90.0};
    opt.rx = 12, opt.ry = -31, opt.rz = 47;
    auto refine = [] {
        int ierr = -1;
        LSVEC(1, ierr);
        ASSERT_EQ(ierr, 0);
    };
    GeometryOptions shifted = opt;
    shifted.omzero = 0.04;
    shifted.xtaloff = {0.05, -0.03, 0.02};
    AngleNoise omega;
    omega.omega = 0.01;
    check(run_trials(shifted, refine, 200, 100, omega), {1, 2, 3, 5, 7}, "omega errors", 1.25);
    AngleNoise tth;
    tth.tth = 0.005;
    check(run_trials(opt, refine, 200, 100, tth), {1, 2, 3, 5, 7}, "2theta errors", 1.25);
}

TEST_F(EsdStatistics, OmegaZeroRefinementCellAndZeroWithinThreeEsds) {
    GeometryOptions opt;
    opt.cell = {7.3, 9.1, 11.7, 82.0, 97.5, 108.0};
    opt.rx = 31, opt.ry = -12, opt.rz = 140;
    opt.noise = 0.005;
    opt.omzero = 0.08;
    const Tally t = run_trials(opt, [] {
        int ierr = -1;
        LSQ_ZERO(ierr);
        ASSERT_EQ(ierr, 0);
    });
    check(t, {1, 2, 3, 4, 5, 6, 7, 8}, "omega zero");
}

TEST_F(EsdStatistics, OffsetRefinementCellAndOffsetsWithinThreeEsds) {
    GeometryOptions opt;
    opt.cell = {8.4, 10.2, 13.9, 90.0, 101.0, 90.0};
    opt.rx = 17, opt.ry = 48, opt.rz = -63;
    opt.max_tth = 60.0;
    opt.noise = 0.005;
    opt.xtaloff = {0.12, -0.08, 0.05};
    opt.omzero = 0.04;
    const Tally t = run_trials(opt, [] {
        int ierr = -1;
        LSQ_WITHOFF(1, ierr);
        ASSERT_EQ(ierr, 0);
    });
    check(t, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, "offsets");
}

}  // namespace
}  // namespace tarnivox
