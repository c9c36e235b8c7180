#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "commands/background.h"
#include "core/store.h"
#include "import/stddata.h"
#include "io/units.h"
#include "ui/graphics.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

// Scans at 20, 50 and 60 deg 2theta whose end steps give scaled levels of
// 40, 10 and 6; the data-set pass builds both models from them, shows the
// background box and leaves the file at its first scan.
TEST(ProcessBackground, BuildsBothModelsFromTheEndStepsAndRewinds) {
    reset_store();
    auto backend = ScriptBackend::from_text("press \"Fixed Background Options\" \"Save + Exit\"\n");
    backend->echo = false;
    set_toolkit_backend(std::move(backend));
    GRAPHICS_SETUP();
    const std::string path = ::testing::TempDir() + "process_background.rfl";
    ASSERT_EQ(open_unit(G.LUSCR, path, OpenMode::Replace), 0);
    WRITE_HEADER_STDDATA(G.LUSCR);
    struct Ref {
        double tth, scale;
        long long first, last;
    };
    const Ref refs[] = {{20.0, 2.0, 18, 22}, {-50.0, 1.0, 8, 12}, {60.0, 0.5, 10, 14}};
    int nref = 0;
    for (const Ref& r : refs) {
        std::vector<long long> counts = {r.first, 50, 90, 50, r.last};
        Arr1<double, 4> ang{{r.tth, 0.0, 0.0, 0.0}};
        double scale = r.scale;
        int status = 0;
        WRITE_REF_STDDATA(G.LUSCR, status, ++nref, Arr1<int, 3>{{1, 0, nref}}, 0.0, ang, 5, 0.01, scale, 0,
                          'S', counts);
        ASSERT_EQ(status, 0);
    }
    G.IBACK = 1;
    PROCESS_BACKGROUND();
    // c: mean level above 45 deg, (10 + 6) / 2; the law runs through the
    // two levels above c, 32 at 20 deg and 2 at 50 deg (|2theta| is used).
    const double b = std::log(16.0) / 30.0;
    EXPECT_NEAR(G.BGEXPC, 8.0, 1e-9);
    EXPECT_NEAR(G.BGEXPB, b, 1e-12);
    EXPECT_NEAR(G.BGEXPA, 32.0 * std::exp(20.0 * b), 1e-9);
    // The table starts from 40 at 20 deg and ends at the 60 deg level.
    EXPECT_NEAR(G.BGTAB(10), 20.0, 1e-9);
    EXPECT_NEAR(G.BGTAB(80), 6.0, 1e-9);
    EXPECT_EQ(G.IBACK, 1);
    // The next read starts at the first scan again.
    int status = -1;
    READ_SCAN_STDDATA(G.LUSCR, 0, 0, Arr1<int, 3>{}, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(G.NREF, 1);
    close_unit(G.LUSCR);
}

}  // namespace
}  // namespace tarnivox
