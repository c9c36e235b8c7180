#include "ui/modal.h"

#include <gtest/gtest.h>

#include "core/store.h"
#include "support/scratch.h"
#include "ui/toolkit/toolkit.h"

namespace tarnivox {
namespace {

// The close control answers a box as its quit control; a box without one
// keeps waiting for its own controls, and other commands only redraw it.
TEST(WaitModal, CloseAnswersAsTheQuitControlAndIsIgnoredWithoutOne) {
    reset_store();
    test::install_quiet_script("close\ncommand 7\nclose\ncommand 5\n");
    const int win = GMCREATEMASTERWINDOW(0, 0, 10, 10, "Tarnivox", "main");
    const int box = GMCREATECOMPLEXDIALOGUEBOX(win, 0, 0, 5, 5, "Box");
    EXPECT_EQ(wait_modal(box, {5, 9}, 9), 9);
    EXPECT_EQ(wait_modal(box, {5}), 5);
}

}  // namespace
}  // namespace tarnivox
