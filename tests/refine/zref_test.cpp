// Zero points from eight equivalent settings: the evaluation of one group
// against settings made by the simulator with known zero errors, crystal
// offset and height error, its refusals, and the search for groups in the
// refinement list.
#include "refine/zref.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "refine_fixture.h"
#include "sim_zref.h"

namespace tarnivox {
namespace {

using sim::EightSettings;
using sim::ZrefConfig;

ZrefSettings as_group(const EightSettings& s) {
    ZrefSettings a;
    for (int k = 1; k <= 8; ++k)
        for (int j = 1; j <= 4; ++j)
            a(k, j) = s[static_cast<std::size_t>(k - 1)][static_cast<std::size_t>(j - 1)];
    return a;
}

Arr1<double, 4> unit_parities() { return Arr1<double, 4>{{1.0, 1.0, 1.0, 1.0}}; }

class Zref : public RefineTest {};

// The simulator's eight settings must be what the method assumes: the same
// diffraction vector (for h k l and its Friedel mate), at the signs of the
// pattern.
TEST_F(Zref, SimulatedSettingsAreEquivalentAndFollowTheSignPattern) {
    ZrefConfig cfg;
    cfg.ngroups = 20;
    const sim::ZrefData d = sim::make_zref_data(cfg);
    ASSERT_EQ(d.groups.size(), 20u);
    G.WAVE1 = cfg.wave1;
    G.PARITY.fill(1);
    const int tth_signs[8] = {1, -1, -1, 1, 1, -1, -1, 1};
    const int om_signs[8] = {1, 1, -1, -1, -1, -1, 1, 1};
    for (const auto& g : d.groups) {
        const EightSettings s = sim::zref_true_settings(g.truth);
        for (int k = 0; k < 8; ++k) {
            const auto& a = s[static_cast<std::size_t>(k)];
            Vec3 h;
            CALCH(angles(a[0], a[1], a[2], a[3]), h);
            const int mate = k % 2 == 0 ? 1 : -1;
            for (int i = 0; i < 3; ++i) {
                double want = 0.0;
                for (int j = 0; j < 3; ++j) want += d.ub[i][j] * mate * g.hkl[static_cast<std::size_t>(j)];
                EXPECT_NEAR(h(i + 1), want, 1e-5) << "setting " << k + 1;
            }
            EXPECT_EQ(a[0] < 0 ? -1 : 1, tth_signs[k]);
            EXPECT_EQ((a[1] < 0) == (g.truth[1] < 0) ? 1 : -1, om_signs[k]);
        }
    }
}

// The true angles and zero errors come back to rounding; the offsets carry
// the evaluation's 57.295 degrees per radian (not 180/pi), which moves them
// by up to some 5E-5 of their size (also through the sines of the angles),
// and are checked to 2E-4 of the offset.
TEST_F(Zref, RecoversTrueAnglesZerosOffsetAndHeightError) {
    struct Case {
        std::array<double, 3> zeros, off;
        double dh, d1, d2, omega_max;
    };
    const Case cases[] = {
        {{0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}, 0.0, 200.0, 200.0, 5.0},
        {{0.05, -0.03, 0.12}, {0.0, 0.0, 0.0}, 0.0, 200.0, 200.0, 5.0},
        {{0.0, 0.0, 0.0}, {0.03, -0.02, 0.05}, 0.0, 200.0, 200.0, 5.0},
        {{-0.08, 0.04, -0.2}, {0.03, -0.02, 0.05}, 0.15, 173.0, 260.0, 8.0},
        {{0.02, 0.07, 0.05}, {-0.05, 0.04, 0.01}, -0.1, 200.0, 150.0, 0.0},  // bisecting groups
    };
    for (const Case& c : cases) {
        ZrefConfig cfg;
        cfg.ngroups = 30;
        cfg.zeros = c.zeros;
        cfg.xtaloff = c.off;
        cfg.delta_h = c.dh;
        cfg.goncon1 = c.d1;
        cfg.goncon2 = c.d2;
        cfg.omega_max = c.omega_max;
        const double off_len = std::hypot(c.off[0], c.off[1], c.off[2]);
        const sim::ZrefData d = sim::make_zref_data(cfg);
        ASSERT_EQ(d.groups.size(), 30u);
        for (const auto& g : d.groups) {
            ZrefSettings a = as_group(sim::zref_measured_settings(g.truth, cfg));
            ZrefResults res;
            int ierr = -1;
            CALC_OFFSETS(a, unit_parities(), c.d1, c.d2, res, ierr);
            ASSERT_EQ(ierr, ZREF_OK);
            for (int j = 1; j <= 3; ++j) EXPECT_NEAR(res(j), g.truth[static_cast<std::size_t>(j - 1)], 1e-9);
            for (int j = 1; j <= 3; ++j)
                EXPECT_NEAR(res(3 + j), c.zeros[static_cast<std::size_t>(j - 1)], 1e-9);
            for (int j = 1; j <= 3; ++j)
                EXPECT_NEAR(res(6 + j), c.off[static_cast<std::size_t>(j - 1)], 2e-4 * off_len + 1e-12)
                    << "offset " << j << " of " << g.hkl[0] << g.hkl[1] << g.hkl[2];
            EXPECT_NEAR(res(10), c.dh, 2e-4 * std::fabs(c.dh) + 1e-12);
            // Chi of settings 3 to 6 brought into one branch in place.
            EXPECT_GT(a(3, 3), a(1, 3));
            EXPECT_GT(a(5, 3) + a(1, 3), 170.0);
        }
    }
}

// Rounded as a data file holds them (4 decimals), the readings still give
// the answers to a few 1E-5 degrees and the offset to a few micrometres.
TEST_F(Zref, ReadingsToFourDecimalsStillGiveTheAnswers) {
    ZrefConfig cfg;
    cfg.ngroups = 30;
    cfg.zeros = {0.04, -0.05, 0.1};
    cfg.xtaloff = {0.02, 0.03, -0.04};
    const sim::ZrefData d = sim::make_zref_data(cfg);
    for (const auto& g : d.groups) {
        ZrefSettings a = as_group(sim::zref_measured_settings(g.truth, cfg));
        for (int k = 1; k <= 8; ++k)
            for (int j = 1; j <= 4; ++j) a(k, j) = std::round(a(k, j) * 1e4) / 1e4;
        ZrefResults res;
        int ierr = -1;
        CALC_OFFSETS(a, unit_parities(), 200.0, 200.0, res, ierr);
        ASSERT_EQ(ierr, ZREF_OK);
        for (int j = 1; j <= 3; ++j) EXPECT_NEAR(res(j), g.truth[static_cast<std::size_t>(j - 1)], 1e-4);
        for (int j = 1; j <= 3; ++j)
            EXPECT_NEAR(res(3 + j), cfg.zeros[static_cast<std::size_t>(j - 1)], 1e-4);
        for (int j = 1; j <= 3; ++j)
            EXPECT_NEAR(res(6 + j), cfg.xtaloff[static_cast<std::size_t>(j - 1)], 0.01);
    }
}

// Refusals: which pattern breaks first, the omega pattern ignored near the
// bisecting position, the chi pairs, and inputs that could only give
// infinities or hang the chi branch search.
TEST_F(Zref, BrokenGroupsAreRefusedWithTheirCodeAndNoResult) {
    ZrefConfig cfg;
    cfg.ngroups = 1;
    cfg.omega_max = 4.0;
    cfg.zeros = {0.05, 0.02, 0.1};
    const sim::ZrefData d = sim::make_zref_data(cfg);
    const ZrefSettings good = as_group(sim::zref_measured_settings(d.groups[0].truth, cfg));
    auto run = [](ZrefSettings a, double d1 = 200.0, double d2 = 200.0) {
        ZrefResults res;
        res.fill(99.0);
        int ierr = -1;
        CALC_OFFSETS(a, unit_parities(), d1, d2, res, ierr);
        for (int j = 1; j <= 10; ++j) {
            EXPECT_TRUE(std::isfinite(res(j)));
            if (ierr != ZREF_OK) {
                EXPECT_EQ(res(j), 0.0);
            }
        }
        return ierr;
    };
    EXPECT_EQ(run(good), ZREF_OK);

    ZrefSettings a = good;
    a(6, 1) = -a(6, 1);  // 2theta sign of setting 6
    EXPECT_EQ(run(a), ZREF_TTH_PATTERN);
    a = good;
    a(4, 2) = -a(4, 2);  // omega sign of setting 4
    EXPECT_EQ(run(a), ZREF_OMEGA_PATTERN);
    a(5, 1) = -a(5, 1);  // both broken, 2theta at a later setting: omega found first
    EXPECT_EQ(run(a), ZREF_OMEGA_PATTERN);
    a = good;
    a(7, 3) += 5.5;  // chi pair (7, 8) apart
    EXPECT_EQ(run(a), ZREF_CHI_PAIR);
    a(7, 3) -= 0.6;  // 4.9 apart is a pair
    EXPECT_EQ(run(a), ZREF_OK);

    // First omega within +-1 degree: the omega signs are not looked at.
    ZrefConfig near = cfg;
    near.omega_max = 0.8;
    const sim::ZrefData dn = sim::make_zref_data(near);
    ZrefSettings b = as_group(sim::zref_measured_settings(dn.groups[0].truth, near));
    ASSERT_LE(std::fabs(b(1, 2)), 1.0);
    for (int k = 2; k <= 8; ++k) b(k, 2) = std::fabs(b(k, 2)) * (b(1, 2) < 0 ? -1.0 : 1.0);
    EXPECT_EQ(run(b), ZREF_OK);

    // Chi far below setting 1 is raised by as many turns as it takes.
    a = good;
    a(3, 3) -= 720.0;
    a(4, 3) -= 720.0;
    a(5, 3) -= 1080.0;
    a(6, 3) -= 1080.0;
    ZrefResults r1, r2;
    int e1 = 0, e2 = 0;
    ZrefSettings g2 = good;
    CALC_OFFSETS(a, unit_parities(), 200.0, 200.0, r1, e1);
    CALC_OFFSETS(g2, unit_parities(), 200.0, 200.0, r2, e2);
    ASSERT_EQ(e1, ZREF_OK);
    for (int j = 1; j <= 10; ++j) EXPECT_NEAR(r1(j), r2(j), 1e-9);

    // No reading, an absurd reading, no goniometer constant.
    a = good;
    a(2, 4) = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(run(a), ZREF_NO_SOLUTION);
    a = good;
    a(1, 3) = 1.0e30;  // would keep the chi branch search adding 360 for ever
    EXPECT_EQ(run(a), ZREF_NO_SOLUTION);
    EXPECT_EQ(run(good, 0.0, 200.0), ZREF_NO_SOLUTION);
    EXPECT_EQ(run(good, 200.0, 0.0), ZREF_NO_SOLUTION);
}

TEST_F(Zref, GroupSearchTakesEightSameOrOppositeIndicesInARow) {
    IhTable ih;
    int n = 0;
    auto add = [&](int h, int k, int l, int times) {
        for (int i = 0; i < times; ++i) {
            ++n;
            ih(n, 1) = h, ih(n, 2) = k, ih(n, 3) = l;
        }
    };
    add(1, 2, 3, 4);
    add(-1, -2, -3, 3);  // seven that match ...
    add(2, 0, 0, 1);     // ... then another: it starts the next group
    add(-2, 0, 0, 7);    // rows 8..15: a group
    add(0, 1, 1, 8);     // rows 16..23: a group
    add(1, -1, 1, 1);
    add(-1, 1, 1, 7);  // neither same nor opposite of (1,-1,1): no group
    add(3, 1, 1, 5);   // the end abandons these
    EXPECT_EQ(next_zref_group(ih, n, 1), 8);
    EXPECT_EQ(next_zref_group(ih, n, 8 + 8), 16);
    EXPECT_EQ(next_zref_group(ih, n, 16 + 8), 0);
    EXPECT_EQ(next_zref_group(ih, 0, 1), 0);
    EXPECT_EQ(next_zref_group(ih, 7, 1), 0);
    // The count is bounded by the table.
    EXPECT_EQ(next_zref_group(ih, 5000, 1), 8);
}

}  // namespace
}  // namespace tarnivox
