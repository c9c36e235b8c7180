// A picture of the "Cell Refinement Results" box on the real window
// (offscreen) after a hexagonal constrained refinement, saved as PNG in the
// build folder for review.
#include <gtest/gtest.h>

#include <QWidget>
#include <filesystem>

#include "commands/preprocess.h"
#include "core/store.h"
#include "io/units.h"
#include "qt_driver.h"
#include "refine/geometry.h"
#include "support/geometry_builder.h"
#include "ui/widgets.h"

namespace tarnivox::uitest {
namespace {

namespace fs = std::filesystem;

TEST(ResultsBoxOnQt, PictureAfterHexagonalConstrainedRefinement) {
    reset_store();
    close_all_units();
    const fs::path dir = fs::path(TARNIVOX_BINARY_DIR) / "plotscan_review";
    fs::create_directories(dir);
    const std::string box = "Unit Cell Refinement";
    QtDriver driver;
    driver.start({press(box, "Symmetry constrained"), select(box, "Crystal system", 5),
                  press(box, "Refine")});
    bool pictured = false;
    driver.then([&] {
        QWidget* results = qt().item(wid(DLG_RESULTS)).widget.data();
        if (!results || !results->isVisible()) return false;
        EXPECT_TRUE(results->grab().save(QString::fromStdString((dir / "tarnivox_cell_results.png").string())));
        pictured = true;
        return true;
    });
    driver.then([] {
        const int h = qt().find("Cell Refinement Results", "Ok");
        auto* b = h ? qobject_cast<QAbstractButton*>(qt().item(h).widget.data()) : nullptr;
        if (!b || !b->isVisible()) return false;
        b->click();
        return true;
    });

    testdata::GeometryOptions opt;
    opt.cell = {6.4, 6.4, 10.3, 90.0, 90.0, 120.0};
    opt.rx = 41, opt.ry = -23, opt.rz = 65;
    opt.noise = 0.005;
    testdata::loaded_refinement_list(opt, 120);
    G.UBFLAG = 0;
    UB_FIT();
    EXPECT_TRUE(pictured);
    EXPECT_EQ(G.UBFLAG, 1);
    // The box showed the constrained cell: a = b, gamma 120.
    EXPECT_NEAR(G.CELL(1), 6.4, 0.002);
    EXPECT_NEAR(G.CELL(1), G.CELL(2), 1e-8);
    EXPECT_NEAR(G.CELL(6), 120.0, 1e-5);
    set_toolkit_backend(nullptr);
    close_all_units();
}

}  // namespace
}  // namespace tarnivox::uitest
