// The esds of the refined cell must mean what a crystallographer reads them
// to mean: over many data sets with the same noise, the cell lies within
// three esds of the truth in at least 95 % of them, and the esd matches the
// scatter of the refined values.

#include <cmath>
#include <cstdio>

#include "refine/cell_lsq.h"
#include "refine/ub_lsq.h"
#include "refine_fixture.h"

namespace tarnivox {
namespace {

using testdata::GeometryOptions;

constexpr int TRIALS = 100;

struct Tally {
    int within3[8] = {};
    double sum[8] = {}, sum2[8] = {}, esd[8] = {};
};

// Runs the trials; `refine` refines the cell of the refinement list.
template <class Refine>
Tally run_trials(GeometryOptions opt, Refine refine) {
    Tally t;
    for (int trial = 1; trial <= TRIALS; ++trial) {
        reset_store();
        opt.seed = 1000u + static_cast<unsigned>(trial);
        testdata::set_instrument(opt);
        testdata::ReflectionSet set;
        EXPECT_EQ(testdata::make_reflections(opt, 200, set), 200);
        testdata::load_refinement_list(set);
        refine();
        const double truth[8] = {0.0,         opt.cell[0], opt.cell[1], opt.cell[2],
                                 opt.cell[3], opt.cell[4], opt.cell[5], testdata::cell_volume(opt.cell)};
        for (int k = 1; k <= 7; ++k) {
            const double d = G.CELL(k) - truth[k];
            if (std::fabs(d) <= 3.0 * G.CELLESD(k)) ++t.within3[k];
            t.sum[k] += G.CELL(k);
            t.sum2[k] += G.CELL(k) * G.CELL(k);
            t.esd[k] += G.CELLESD(k);
        }
    }
    return t;
}

void check(const Tally& t, std::initializer_list<int> params, const char* what) {
    for (int k : params) {
        const double mean = t.sum[k] / TRIALS;
        const double scatter =
            std::sqrt(std::fmax(t.sum2[k] / TRIALS - mean * mean, 0.0) * TRIALS / (TRIALS - 1));
        const double esd = t.esd[k] / TRIALS;
        const double ratio = esd / scatter;
        std::printf("%s %d: within 3 esd %d/%d, mean esd %.3g, scatter %.3g, ratio %.2f\n", what, k,
                    t.within3[k], TRIALS, esd, scatter, ratio);
        EXPECT_GE(t.within3[k], 95) << what << " parameter " << k;
        EXPECT_GT(ratio, 1.0 / 1.5) << what << " parameter " << k;
        EXPECT_LT(ratio, 1.5) << what << " parameter " << k;
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

}  // namespace
}  // namespace tarnivox
