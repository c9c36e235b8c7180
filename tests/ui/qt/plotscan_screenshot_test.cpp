// Pictures of an automatic run on the real window (offscreen): the scan
// plot of a resolved alpha1/alpha2 doublet and the fitting-controls dialog
// with refined values, saved as PNG in the build folder for review.
#include <gtest/gtest.h>

#include <QPixmap>
#include <QWidget>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "commands/auto_fit.h"
#include "core/store.h"
#include "fitting/profile.h"
#include "import/convert.h"
#include "import/stddata.h"
#include "io/units.h"
#include "params/parameters.h"
#include "qt_driver.h"
#include "support/large_example.h"
#include "support/scan_file.h"
#include "ui/widgets.h"
#include "ui/window_state.h"

namespace tarnivox::uitest {
namespace {

namespace fs = std::filesystem;

// Copper radiation at 2theta 110 degrees: the alpha2 peak lies 0.2 degrees
// of omega after alpha1, beyond the 0.12 degree width.
void write_doublet_data_set(const std::string& file, int n) {
    ASSERT_EQ(open_unit(LU_SCAN, file, OpenMode::Replace), 0);
    G.TITLE = "doublet review";
    WRITE_HEADER_STDDATA(LU_SCAN);
    unsigned seed = 12345;
    auto noise = [&seed]() {  // roughly normal, from four uniforms
        double s = 0.0;
        for (int i = 0; i < 4; ++i) {
            seed = seed * 1103515245u + 12345u;
            s += static_cast<double>((seed >> 8) & 0xffff) / 65535.0 - 0.5;
        }
        return s * std::sqrt(3.0);
    };
    for (int r = 1; r <= n; ++r) {
        const double tth = 110.0 + r;
        const Doublet d = make_doublet(G.WAVE1, G.WAVE2, 0.0, tth);
        const double par[6] = {15.0, 0.12, 60.0 * r, -0.1, 0.4, 0.5};
        std::vector<long long> counts(81);
        for (int i = 0; i < 81; ++i) {
            const double m = doublet_model(-0.8 + 0.02 * i, par, d);
            counts[static_cast<std::size_t>(i)] = std::max(0LL, std::llround(m + std::sqrt(m) * noise()));
        }
        const Arr1<int, 3> hkl{{r, 2, -3}};
        const Arr1<double, 4> angles{{tth, 0.0, 35.0, 120.0}};
        ASSERT_EQ(test::write_scan_record(LU_SCAN, r, hkl, angles, counts, 'N', r == 2 ? 1 : 0), 0);
    }
    close_unit(LU_SCAN);
    ASSERT_EQ(open_unit(LU_SCAN, file, OpenMode::Read), 0);
}

bool click_ok_of_open_box() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QAbstractButton* ok = box ? box->button(QMessageBox::Ok) : nullptr;
    if (!ok) return false;
    ok->click();
    return true;
}

TEST(ScanPlotOnQt, PicturesOfAnAutomaticRunWithResolvedDoublet) {
    reset_store();
    close_all_units();
    const fs::path dir = fs::path(TARNIVOX_BINARY_DIR) / "plotscan_review";
    fs::create_directories(dir);
    G.NWAVE = 2;
    G.WAVE1 = 1.54056;
    G.WAVE2 = 1.54439;
    G.A2RATIO = 0.5;
    G.RATIO0 = 0.5;
    G.FWHMA = 0.12;
    G.ETA0 = 0.4;
    G.IREF = Arr1<int, 6>{{1, 1, 1, 1, 1, 0}};
    G.PAR = Arr1<double, 6>{{0.0, 0.12, 0.0, 0.0, 0.4, 0.5}};
    G.RWPLIM = 1.0;
    write_doublet_data_set((dir / "doublet.rfl").string(), 6);
    ASSERT_EQ(open_unit(LU_OUTPUT, (dir / "doublet.int").string(), OpenMode::Replace), 0);
    G.OUTOPEN = 1;
    G.INTFMT = 1;
    int status = 0;
    SKIP_HEADER_STDDATA(G.LUSCR, status);
    const Arr1<int, 3> none;
    READ_SCAN_STDDATA(G.LUSCR, 0, 0, none, status);

    QtDriver driver;
    bool pictured = false;
    int alpha_components = 0;
    driver.start({press("Peak parameter default values", "Save + Exit"), press("main", "Start")});
    // While the run goes on: the plot of the reflection just fitted.
    driver.then([&] {
        if (G.NREF < 3) return false;
        // The driver may be called while the frame is being redrawn (the
        // backend lets timers run when it settles the window): wait for a
        // complete plot.
        int components = 0;
        for (const auto& s : qt().frame(WS.GFRAME)->list.segments()) components += s.colour == 3 ? 1 : 0;
        if (components == 0) return false;
        alpha_components = components;
        QWidget* win = qt().main_window();
        EXPECT_TRUE(win->grab().save(QString::fromStdString((dir / "tarnivox_scan_plot_doublet.png").string())));
        QWidget* fc = qt().item(wid(DLG_FITCTRL)).widget.data();
        EXPECT_TRUE(fc->grab().save(QString::fromStdString((dir / "tarnivox_fit_controls_refined.png").string())));
        pictured = true;
        return true;
    });
    // The run then goes to the end of the file, which the user acknowledges,
    // and its summary.
    driver.then(click_ok_of_open_box);
    driver.then(click_ok_of_open_box);
    qt().main_window()->resize(900, 760);
    QCoreApplication::processEvents();
    START_AUTO_FIT();
    EXPECT_TRUE(pictured);
    // Both components are drawn, each as one polyline over the 81 steps.
    EXPECT_EQ(alpha_components, 160);
    set_toolkit_backend(nullptr);
    close_all_units();
}

// The automatic run over the 2,000-reflection example on the real window,
// with the scan plot drawn for every reflection.
TEST(ScanPlotOnQt, AutomaticRunOverTheLargeExampleWithPlotting) {
    reset_store();
    close_all_units();
    const fs::path example = test::large_example_dir();
    const fs::path dir = fs::path(TARNIVOX_BINARY_DIR) / "plotscan_review";
    fs::create_directories(dir);
    test::write_open_background_parameters(dir / "cad4_large.par");
    QtDriver driver;
    driver.start({});
    driver.then(click_ok_of_open_box);  // "Data File read in successfully"
    driver.then([] {
        const int h = qt().find("Peak parameter default values", "Save + Exit");
        auto* b = h ? qobject_cast<QAbstractButton*>(qt().item(h).widget.data()) : nullptr;
        if (!b || !b->isVisible()) return false;
        b->click();
        return true;
    });
    driver.then([] {
        auto* b = qobject_cast<QAbstractButton*>(qt().item(wid(PANEL(18))).widget.data());
        if (!b || !b->isVisible() || !b->isEnabled()) return false;
        b->click();
        return true;
    });
    driver.then(click_ok_of_open_box);  // "End of File"
    driver.then(click_ok_of_open_box);  // the run's summary
    qt().main_window()->resize(900, 760);
    G.INFMT = 7;
    G.INFILE = "cad4_large.dat";
    ASSERT_EQ(open_unit(LU_INPUT, (example / "cad4_large.dat").string(), OpenMode::Read), 0);
    ASSERT_EQ(open_unit(LU_PARAM, (dir / "cad4_large.par").string(), OpenMode::Read), 0);
    test::import_and_read_first_reflection();
    ASSERT_EQ(open_unit(LU_OUTPUT, (dir / "cad4_large.int").string(), OpenMode::Replace), 0);
    G.OUTOPEN = 1;
    G.INTFMT = 1;
    const auto t0 = std::chrono::steady_clock::now();
    START_AUTO_FIT();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    int fitted = 0;
    for (int i = 1; i <= 11; ++i) fitted += G.NFITC(i);
    std::printf("automatic run on the Qt window: %d reflections in %.2f s\n", fitted, seconds);
    EXPECT_EQ(fitted, 1999);
    set_toolkit_backend(nullptr);
    close_all_units();
}

}  // namespace
}  // namespace tarnivox::uitest
