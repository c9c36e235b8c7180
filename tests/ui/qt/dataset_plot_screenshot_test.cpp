// The delta-d/d plot on the real window (offscreen), saved as PNG in the
// build folder for review, with the frame's display list checked against
// the values plotted.
#include <gtest/gtest.h>

#include <QWidget>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/store.h"
#include "qt_driver.h"
#include "ui/dataset_plot.h"
#include "ui/window_state.h"

namespace tarnivox::uitest {
namespace {

namespace fs = std::filesystem;

TEST(DataSetPlotOnQt, PictureOfADeltaDPlot) {
    reset_store();
    QtDriver driver;
    driver.start({});
    QWidget* win = qt().main_window();
    win->show();
    win->resize(900, 700);
    QCoreApplication::processEvents();
    // Delta-d/d of a data set with a 2theta zero error of +0.05 degrees
    // (-cot(theta) dtheta) from 2theta 12.3 to 57.8.
    DataSetValues x, y;
    int n = 0;
    for (double tth = 12.3; tth <= 57.85; tth += 45.5 / 24.0) {
        ++n;
        x(n) = tth;
        y(n) = -(0.025 / 57.29578) / std::tan(tth / 2.0 / 57.29578) + 0.0012;
    }
    PLOTDATASET(x, y, MAXREFLIST, n);
    QCoreApplication::processEvents();
    const fs::path dir = fs::path(TARNIVOX_BINARY_DIR) / "dataset_plot_review";
    fs::create_directories(dir);
    EXPECT_TRUE(win->grab().save(QString::fromStdString((dir / "tarnivox_deltad_plot_qt.png").string())));

    // The frame painted what the plot asked for: every point, the 2theta
    // labels from 10 to 60 and the title.
    const DisplayList& list = qt().frame(WS.GFRAME)->list;
    int squares = 0;
    for (const DrawOp& op : list.ops) squares += op.kind == DrawOp::FillRect ? 1 : 0;
    EXPECT_EQ(squares, n);
    std::vector<std::string> texts;
    for (const DrawOp& op : list.texts()) texts.push_back(op.text);
    for (const char* t :
         {"10.00", "20.00", "30.00", "40.00", "50.00", "60.00", "DELTA-D/D PLOT", "2THETA: DEG"})
        EXPECT_NE(std::find(texts.begin(), texts.end(), t), texts.end()) << t;
    EXPECT_GT(WS.FRAMEW, 300.0) << "the frame was measured on the real window";
    set_toolkit_backend(nullptr);
}

}  // namespace
}  // namespace tarnivox::uitest
