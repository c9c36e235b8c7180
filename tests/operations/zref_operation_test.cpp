// Zref called as an operation on groups of eight settings made with known
// zero errors and crystal offset: every group's result gives them back,
// and a list without a group is left as it was.

#include <gtest/gtest.h>

#include <cmath>

#include "core/store.h"
#include "operations/zref.h"
#include "sim_zref.h"

namespace tarnivox {
namespace {

void load_groups(const sim::ZrefData& d) {
    G.NUBREF = 0;
    for (const auto& g : d.groups)
        for (int k = 0; k < 8; ++k) {
            const int n = ++G.NUBREF;
            const int sign = k % 2 == 0 ? 1 : -1;
            for (int j = 1; j <= 3; ++j) G.IHREF(n, j) = sign * g.hkl[static_cast<std::size_t>(j - 1)];
            const auto& m = g.measured[static_cast<std::size_t>(k)];
            G.TTHREF(n) = m[0];
            G.OMREF(n) = m[1];
            G.CHIREF(n) = m[2];
            G.PHIREF(n) = m[3];
        }
}

TEST(ZrefOperation, EveryGroupGivesBackTheZerosAndTheOffset) {
    reset_store();
    sim::ZrefConfig cfg;
    cfg.ngroups = 6;
    cfg.zeros = {0.06, -0.04, 0.15};
    cfg.xtaloff = {0.03, -0.04, 0.05};
    G.PARITY.fill(1);
    G.GONCON1 = cfg.goncon1;
    G.GONCON2 = cfg.goncon2;
    const sim::ZrefData d = sim::make_zref_data(cfg);
    load_groups(d);

    MessageList messages;
    const ZrefResult r = run_zref(messages);
    ASSERT_EQ(r.groups, 6);
    ASSERT_EQ(r.evaluated.size(), 6u);
    EXPECT_EQ(G.NUBREF, 6);
    for (std::size_t g = 0; g < r.evaluated.size(); ++g) {
        const ZrefGroup& z = r.evaluated[g];
        EXPECT_EQ(z.hkl, d.groups[g].hkl);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(z.true_angles[static_cast<std::size_t>(k)],
                        d.groups[g].truth[static_cast<std::size_t>(k)], 1e-3);
            EXPECT_NEAR(z.zeros[static_cast<std::size_t>(k)], cfg.zeros[static_cast<std::size_t>(k)], 2e-3);
            EXPECT_NEAR(z.offset[static_cast<std::size_t>(k)], cfg.xtaloff[static_cast<std::size_t>(k)],
                        5e-3);
        }
        // The list entry is the group's true setting.
        EXPECT_EQ(G.TTHREF(static_cast<int>(g) + 1), z.true_angles[0]);
        EXPECT_EQ(G.OMREF(static_cast<int>(g) + 1), z.true_angles[1]);
    }
    ASSERT_EQ(messages.all.size(), 1u);
    EXPECT_EQ(messages.all[0].kind, MessageKind::Notice);
    EXPECT_EQ(messages.all[0].text, "    6 Reflection groups processed by Zref");

    // One entry short of a group: nothing is evaluated and the list stays.
    load_groups(d);
    G.NUBREF = 7;
    const double first = G.OMREF(1);
    MessageList none;
    EXPECT_EQ(run_zref(none).groups, 0);
    EXPECT_EQ(G.NUBREF, 7);
    EXPECT_EQ(G.OMREF(1), first);
    ASSERT_EQ(none.all.size(), 1u);
    EXPECT_EQ(none.all[0].text, "No reflections processed by ZREF");
}

}  // namespace
}  // namespace tarnivox
