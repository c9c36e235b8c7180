#include <gtest/gtest.h>

#include "core/store.h"
#include "support/profile_scans.h"
#include "ui/fit_settings.h"

namespace tarnivox {
namespace {

// A scan whose background was taken from its end steps without the
// balance test must not inherit the unbalanced flag of the scan before.
TEST(FitSettingsFaults, UnbalancedFlagDoesNotOutliveTheBalanceTest) {
    reset_store();
    test::make_fit_dialogs();
    G.IBACK = 3;
    G.NBACK = 2;
    // Ends of 20 and 400 counts: far beyond three esds apart.
    test::load_counts({10, 10, 30, 90, 50, 200, 200}, 1.0, 0.02, 60.0);
    test::set_dialog_flags({1, 1, 1, 1, 1, 0}, {1, 0, 0, 0, 0, 0});
    SET_FIT_PARAMETERS();
    ASSERT_EQ(G.BGUNBAL, 1);

    test::load_counts({12, 14, 30, 90, 50, 20, 16}, 1.0, 0.02, 60.0);
    test::set_dialog_flags({1, 1, 1, 1, 1, 0}, {0, 0, 0, 0, 0, 0});
    SET_FIT_PARAMETERS();
    EXPECT_EQ(G.PAR(1), 14.0);
    EXPECT_EQ(G.BGUNBAL, 0);
}

}  // namespace
}  // namespace tarnivox
