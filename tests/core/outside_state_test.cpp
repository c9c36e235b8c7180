// reset_store() also clears the program state that lives outside the store.
#include <gtest/gtest.h>

#include <ctime>

#include "core/messages.h"
#include "core/store.h"
#include "fitting/fitscan.h"
#include "fitting/pklsq.h"
#include "io/clock.h"
#include "support/profile_scans.h"

namespace tarnivox {
namespace {

TEST(ResetStore, ClearsTheCycleCountAndTheMessageSinkButKeepsAFixedClock) {
    reset_store();
    test::SimScan sim;
    CountRng rng = make_count_rng(11);
    test::load_simulated_scan(sim, &rng);
    G.PAR = sim.truth;
    G.IREF = Arr1<int, 6>{{1, 1, 1, 1, 1, 0}};
    int ierr = 0;
    FITSCAN(0, ierr);
    ASSERT_GT(last_pklsq_cycles(), 0);

    const std::time_t fixed = 86400 * 365;
    set_clock_for_tests(fixed);
    ASSERT_EQ(date_text(), date_text(fixed));

    int shown = 0;
    set_message_sink([&](const Message&) { ++shown; });

    reset_store();
    EXPECT_EQ(last_pklsq_cycles(), 0);
    EXPECT_EQ(date_text(), date_text(fixed));  // the test returns the clock itself
    set_clock_for_tests(std::nullopt);
    report_error("Tarnivox", "Error in CALCB");
    EXPECT_EQ(shown, 0);
    ASSERT_EQ(recorded_messages().size(), 1u);
    reset_store();
    EXPECT_TRUE(recorded_messages().empty());
}

}  // namespace
}  // namespace tarnivox
