// Huber and Febo files without a window: the omega step width comes from
// the source the caller installs, is logged, and without one the header is
// refused rather than read with a step the user never gave.
#include "import/step_width.h"

#include <gtest/gtest.h>

#include "core/exitint.h"
#include "core/messages.h"
#include "core/store.h"
#include "import/convert.h"
#include "import_fixture.h"
#include "io/units.h"
#include "support/scratch.h"

namespace tarnivox::importtest {
namespace {

TEST_F(ImportTest, FormatsWithoutAStepWidthTakeTheCallersAndRefuseWithoutOne) {
    for (sim::Format f : {sim::Format::Huber, sim::Format::Febo}) {
        sim::Config c;
        c.format = f;
        c.seed = 7;
        c.nrefl = 20;
        const std::string data = path("s." + sim::extension_of(f));
        const sim::Result r = sim::simulate(c, data, path("s.par"), "");

        // No window: nothing but the source answers.
        close_all_units();
        reset_store();
        set_instrument(c);
        int asked = 0;
        set_step_width_source([&] {
            ++asked;
            return r.step_to_enter;
        });
        ASSERT_EQ(open_unit(LU_LOG, path("s.log"), OpenMode::Replace, true), 0);
        G.LOGOPEN = 1;
        import_file(data, static_cast<int>(f));
        EXPECT_EQ(asked, 1);
        expect_matches_truth(walk_scan_file(), r, 0.0006);
        ASSERT_FALSE(recorded_messages().empty());
        EXPECT_EQ(recorded_messages().back().text, "Data File read in successfully");
        EXPECT_EQ(recorded_messages().back().kind, MessageKind::Notice);
        close_unit(LU_LOG);
        EXPECT_NE(test::read_text(path("s.log")).find("OMEGA STEP SIZE GIVEN:"), std::string::npos);

        // A new run has no source until its caller installs one again.
        close_all_units();
        reset_store();
        EXPECT_FALSE(current_step_width_source());
        set_instrument(c);
        G.INFMT = static_cast<int>(f);
        ASSERT_EQ(open_unit(LU_INPUT, data, OpenMode::Read), 0);
        int status = 0;
        try {
            CONVERT_FILE(status);
            ADD_FAILURE() << "a header without a step width was read";
        } catch (const ProgramEnd& e) {
            EXPECT_EQ(e.message, "READ ERROR ON HEADER OF SCAN FILE");
        }
        ASSERT_FALSE(recorded_messages().empty());
        EXPECT_EQ(recorded_messages().back().text, "Error Reading File Header");
    }
}

}  // namespace
}  // namespace tarnivox::importtest
