#include "ui/modal.h"

#include <gtest/gtest.h>

#include "core/exitint.h"
#include "core/store.h"
#include "support/scratch.h"
#include "toolkit/toolkit.h"

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

// A script used up while a box waits: the close command is not given to
// the box (with or without a quit control); the run ends, naming it.
TEST(WaitModal, ScriptUsedUpEndsTheRunNamingTheBox) {
    // With the timer running, its ticks would be all the box ever got.
    struct Case {
        int quit;
        bool ticking;
    };
    for (const auto [quit, ticking] : {Case{9, false}, Case{0, false}, Case{0, true}}) {
        reset_store();
        test::install_quiet_script("command 5\n");
        const int win = GMCREATEMASTERWINDOW(0, 0, 10, 10, "Tarnivox", "main");
        const int box = GMCREATECOMPLEXDIALOGUEBOX(win, 0, 0, 5, 5, "Some Box");
        EXPECT_EQ(wait_modal(box, {5, 9}, quit), 5);
        if (ticking) GMDEFINETIMERCALLBACK(50, 42);
        try {
            wait_modal(box, {5, 9}, quit);
            ADD_FAILURE() << "the wait went on after the script";
        } catch (const ProgramEnd& end) {
            EXPECT_EQ(end.status, EXIT_STATUS_SCRIPT);
            EXPECT_EQ(end.message, "SCRIPT ENDED IN THE BOX \"Some Box\"");
        }
    }
}

}  // namespace
}  // namespace tarnivox
