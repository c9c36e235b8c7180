// The real window beyond the dialogs: timer pacing, the graphics frame,
// file dialogs, the end of a run, and pictures of the window for review.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QUrl>
#include <QDropEvent>
#include <QPixmap>
#include <QScreen>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "qt_driver.h"
#include "support/scratch.h"
#include "tarnivox_main.h"
#include "ui/command_numbers.h"
#include "ui/plotscan.h"
#include "toolkit/qt/value_text.h"
#include "ui/window_state.h"

namespace tarnivox::uitest {
namespace {

class WindowOnQt : public ::testing::Test {
protected:
    void TearDown() override { set_toolkit_backend(nullptr); }
    QtDriver driver;
};

// An automatic run is paced by its fits: 2,000 ticks of interval 50 take
// no waiting, and a button pressed meanwhile is heard before the next tick.
TEST_F(WindowOnQt, TimerTicksWithoutWaiting) {
    reset_store();
    driver.start({});
    GMDEFINETIMERCALLBACK(50, 990);
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(GMACTION(), 990);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(seconds, 30.0);  // 50 ms a tick would be 100 s
    GMSETWIDGETSTATUS(wid(PANEL(19)), 1);
    qobject_cast<QAbstractButton*>(qt().item(wid(PANEL(19))).widget.data())->click();
    EXPECT_EQ(GMACTION(), 119);
    EXPECT_EQ(GMACTION(), 990);
    GMDEFINETIMERCALLBACK(50, 0);
    qt().post(CMD_MANUAL_FIT);
    EXPECT_EQ(GMACTION(), CMD_MANUAL_FIT);
}

// FRAENQ gives the frame's real size, which follows the window; drawing
// lands in the frame's display list in frame coordinates.
TEST_F(WindowOnQt, FrameReportsRealExtentsAndRecordsDrawing) {
    reset_store();
    driver.start({});
    QWidget* win = qt().main_window();
    win->resize(900, 700);
    QCoreApplication::processEvents();
    double x0, x1, y0, y1;
    FRAENQ(WS.GFRAME, x0, x1, y0, y1);
    FrameWidget* f = qt().frame(WS.GFRAME);
    EXPECT_EQ(x0, 0.0);
    EXPECT_EQ(y0, 0.0);
    EXPECT_EQ(x1, f->width());
    EXPECT_EQ(y1, f->height());
    win->resize(1200, 900);
    QCoreApplication::processEvents();
    double bx1, by1;
    FRAENQ(WS.GFRAME, x0, bx1, y0, by1);
    EXPECT_GT(bx1, x1);
    EXPECT_GT(by1, y1);
    // The plot is the largest element and takes most of the window's growth.
    EXPECT_GT(by1 - y1, 0.8 * 200);
    FRAACT(WS.GFRAME);
    GSETLINECOLOUR(3);
    GMOVETO2D(10, 20);
    GDRAWLINETO2D(100, 20);
    GDISPLAYSTR("2theta");
    const auto segs = f->list.segments();
    ASSERT_EQ(segs.size(), 1u);
    EXPECT_EQ(segs[0].colour, 3);
    EXPECT_EQ(f->list.texts().size(), 1u);
    FRACLE(WS.GFRAME);
    EXPECT_TRUE(f->list.ops.empty());
}

// The open-file dialog preselects its filter and folder and returns the
// full path, the filter chosen and the offset of the extension.
TEST_F(WindowOnQt, OpenFileDialogReturnsPathFilterAndExtension) {
    reset_store();
    const std::filesystem::path dir = std::filesystem::path(TARNIVOX_BINARY_DIR) / "qt_open_file";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "garnet.p4t") << "x\n";
    driver.start({});
    QString preselected, shown_dir;
    driver.then([&] {
        auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!fd) return false;
        preselected = fd->selectedNameFilter();
        shown_dir = fd->directory().absolutePath();
        fd->selectFile(QString::fromStdString((dir / "garnet.p4t").string()));
        static_cast<QDialog*>(fd)->accept();
        return true;
    });
    OpenFileRequest req;
    req.title = "Open data file";
    req.filters = {{"Xcalibur", "*.dca"}, {"Xscans", "*.p4t"}, {"All files", "*.*"}};
    req.filter_index = 2;
    req.initial_dir = dir.string();
    req.default_ext = "p4t";
    req.must_exist = true;
    const OpenFileResult r = GETOPENFILENAME(req);
    EXPECT_EQ(preselected, "Xscans (*.p4t)");
    EXPECT_EQ(shown_dir.toStdString(), std::filesystem::canonical(dir).string());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(std::filesystem::canonical(r.path), std::filesystem::canonical(dir / "garnet.p4t"));
    EXPECT_EQ(r.filter_index, 2);
    EXPECT_EQ(r.path.substr(static_cast<std::size_t>(r.ext_offset)), "p4t");

    // A dialog that names a file to be written says so on its button.
    QString button;
    driver.then([&] {
        auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!fd) return false;
        button = fd->labelText(QFileDialog::Accept);
        static_cast<QDialog*>(fd)->reject();
        return true;
    });
    req.must_exist = false;
    req.for_output = true;
    EXPECT_FALSE(GETOPENFILENAME(req).ok);
    EXPECT_EQ(button, "Save");
    req.for_output = false;

    driver.cancel_file_dialogs = true;
    EXPECT_FALSE(GETOPENFILENAME(req).ok);
    std::string name = "garnet.par";
    WIDSTR("Parameter file");
    BROWSE(name, dir.string(), "*.par|(Parameter files)|*.*|(All files)|");
    EXPECT_EQ(name, "");
}

// A data file dropped onto the idle window, or picked from "Open recent",
// opens as "Open data file" does, without the file dialog; while a box is
// open or a run goes on, nothing happens.
TEST_F(WindowOnQt, DroppedAndRecentDataFilesOpenLikeOpenDataFile) {
    const std::filesystem::path dir = std::filesystem::path(TARNIVOX_BINARY_DIR) / "qt_recent";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "config");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString((dir / "config").string()));
    const std::string a = (dir / "a.rfl").string(), b = (dir / "b.dat").string();
    std::ofstream(a) << "x\n";
    std::ofstream(b) << "x\n";
    reset_store();
    driver.cancel_file_dialogs = true;  // a dialog shown would answer nothing
    driver.start({});
    QWidget* win = qt().main_window();
    OpenFileRequest data;
    data.title = "Open Input Data File";
    data.filters = {{"Standard", "*.rfl"}, {"All Formats", "*.*"}};
    data.filter_index = 2;
    data.must_exist = true;
    data.data_file = true;
    const auto drop = [&](const std::string& path) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(win, &enter);
        QDropEvent dropped(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(win, &dropped);
        return enter.isAccepted() && dropped.isAccepted();
    };
    ASSERT_TRUE(drop(a));
    EXPECT_EQ(GMACTION(), CMD_OPEN_DATA);
    OpenFileResult r = GETOPENFILENAME(data);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.path, a);
    EXPECT_EQ(r.filter_index, 2);
    EXPECT_EQ(r.path.substr(static_cast<std::size_t>(r.ext_offset)), "rfl");
    // Taken once: the next dialog is the dialog again.
    EXPECT_FALSE(GETOPENFILENAME(data).ok);

    // Not while a box waits, nor during a run, nor for a folder.
    GMDRAWWINDOW(wid(DLG_PREPROCESS));
    EXPECT_FALSE(drop(b));
    GMREMOVEWINDOW(wid(DLG_PREPROCESS));
    GMDEFINETIMERCALLBACK(50, 990);
    EXPECT_FALSE(drop(b));
    GMDEFINETIMERCALLBACK(50, 0);
    EXPECT_FALSE(drop(dir.string()));
    qt().post(7777);
    EXPECT_EQ(GMACTION(), 7777);  // no "Open data file" was posted
    EXPECT_FALSE(GETOPENFILENAME(data).ok);

    // Recent files: newest first, each once, offered under "Open data file".
    note_data_file(a);
    note_data_file(b);
    note_data_file(a);
    EXPECT_EQ(qt().recent_data_files(), (QStringList{QString::fromStdString(a), QString::fromStdString(b)}));
    auto* file_menu = qobject_cast<QMenu*>(qt().item(wid(MENU_ENTRY(1))).action->parent());
    ASSERT_NE(file_menu, nullptr);
    QMenu* recent = nullptr;
    for (QAction* act : file_menu->actions())
        if (act->menu() && act->text().remove('&') == "Open recent") recent = act->menu();
    ASSERT_NE(recent, nullptr);
    emit recent->aboutToShow();
    ASSERT_EQ(recent->actions().size(), 2);
    EXPECT_TRUE(recent->actions()[1]->text().endsWith(QString::fromStdString(b)));
    recent->actions()[1]->trigger();
    EXPECT_EQ(GMACTION(), CMD_OPEN_DATA);
    EXPECT_EQ(GETOPENFILENAME(data).path, b);
    // Other dialogs are not answered by a pending file.
    recent->actions()[0]->trigger();
    EXPECT_EQ(GMACTION(), CMD_OPEN_DATA);
    OpenFileRequest output = data;
    output.data_file = false;
    EXPECT_FALSE(GETOPENFILENAME(output).ok);
    EXPECT_EQ(GETOPENFILENAME(data).path, a);
}

// The start of a run: the window is built and the input-file choice comes
// up; cancelling it ends the run with "END OF PROGRAM".
TEST_F(WindowOnQt, CancellingTheInputFileEndsTheRun) {
    driver.cancel_file_dialogs = true;
    driver.start_bare({answer("ok")});
    EXPECT_EQ(run_program(), 0);
    ASSERT_FALSE(driver.boxes().empty());
    EXPECT_EQ(driver.boxes().back().text, "END OF PROGRAM");
    EXPECT_TRUE(driver.finished());
    EXPECT_EQ(qt().main_window(), nullptr);  // the windows are closed at the end of the run
}

TEST(EntryText, FormatsAndParsesNumbers) {
    EXPECT_EQ(format_entry_value(1.0, 0), "1");
    EXPECT_EQ(format_entry_value(-1.0, 0), "-1");
    EXPECT_EQ(format_entry_value(0.02, 4), "0.0200");
    EXPECT_EQ(format_entry_value(-0.0001, 3), "0.000");
    EXPECT_EQ(format_entry_value(200.0, 1), "200.0");
    EXPECT_EQ(parse_entry_value(" 0.001 ").value(), 0.001);
    EXPECT_EQ(parse_entry_value("-1.5e-3").value(), -1.5e-3);
    for (const char* junk : {"", "  ", "abc", "1,5", "1.5x", "nan", "inf", "0x1p3", "1 2"})
        EXPECT_FALSE(parse_entry_value(junk).has_value()) << junk;
}

// Boxes open beside the main window, never over its plot and panel; the
// window itself lies whole on the screen at any scale factor.
TEST(WindowPlacement, BoxesBesideTheWindowAndTheWindowOnTheScreen) {
    const ScreenRect screen{0, 0, 1600, 1000};
    const auto overlaps = [](ScreenRect a, int x, int y, int w, int h) {
        return x < a.right() && a.x < x + w && y < a.bottom() && a.y < y + h;
    };
    const struct {
        ScreenRect main;
        int w, h;
        int x, y, main_x, main_y;
    } cases[] = {
        {{100, 50, 700, 560}, 500, 300, 808, 50, 100, 50},    // room on the right
        {{880, 50, 700, 560}, 500, 300, 372, 50, 880, 50},    // only on the left
        {{400, 50, 700, 560}, 600, 300, 1000, 50, 292, 50},   // neither: the window moves aside
        {{0, 50, 1200, 560}, 700, 300, 0, 0, 0, 440},         // too narrow: box on top, window below
    };
    for (const auto& c : cases) {
        const BoxPlacement p = place_beside(c.main, c.w, c.h, screen);
        EXPECT_EQ(p.x, c.x);
        EXPECT_EQ(p.y, c.y);
        EXPECT_EQ(p.main_x, c.main_x);
        EXPECT_EQ(p.main_y, c.main_y);
        EXPECT_LE(p.x + c.w, screen.right());
        ScreenRect moved = c.main;
        moved.x = p.main_x;
        moved.y = p.main_y;
        EXPECT_FALSE(overlaps(moved, p.x, p.y, c.w, c.h));
    }
    // A tall box near the bottom stays on the screen.
    EXPECT_EQ(place_beside({100, 900, 700, 90}, 300, 400, screen).y, 600);

    // A 2x scale factor: the window asked for at (320, 240), 1440 x 1100 on
    // a screen of 1600 x 1000 comes whole onto it, down to its least size.
    const ScreenRect fit = fit_on_screen({320, 240, 1440, 1100}, 1200, 700, screen);
    EXPECT_EQ(fit.w, 1440);
    EXPECT_EQ(fit.h, 1000);
    EXPECT_EQ(fit.x, 160);
    EXPECT_EQ(fit.y, 0);
    const ScreenRect small = fit_on_screen({50, 60, 700, 500}, 600, 400, screen);
    EXPECT_EQ(small.x, 50);
    EXPECT_EQ(small.y, 60);
    EXPECT_EQ(small.w, 700);
}

TEST(EntryText, BrowseFilterAndExtensionOffset) {
    EXPECT_EQ(browse_name_filters("*.par|(Parameter files)|*.*|(All files)|"),
              "Parameter files (*.par);;All files (*.*)");
    EXPECT_EQ(browse_name_filters("*.hkl"), "*.hkl");
    EXPECT_EQ(browse_name_filters(""), "");
    EXPECT_EQ(extension_offset("/a/b.c/scan.p4t"), 12);
    EXPECT_EQ(extension_offset("/a/b.c/scan"), 0);
    EXPECT_EQ(extension_offset("scan."), 0);
}

// The window opens whole on its screen and the fit-controls box opens
// beside it, not over the plot and Start.  With TARNIVOX_SCREENSHOT_DIR set
// (a run on a real X server, at any QT_SCALE_FACTOR) the screen is saved
// there for review.
TEST_F(WindowOnQt, WindowOnTheScreenAndBoxBesideIt) {
    reset_store();
    driver.start({});
    QWidget* win = qt().main_window();
    GMDRAWWINDOW(WS.MAINWIN);
    QCoreApplication::processEvents();
    // A scan as the fitting run shows it.
    G.NPTS = 61;
    for (int i = 1; i <= G.NPTS; ++i) {
        G.STEPANG(i) = 20.0 + (i - 31) * 0.02;
        const double t = (G.STEPANG(i) - 20.03) / 0.08;
        G.YCALC(i) = 40.0 + 900.0 / (1.0 + t * t);
        G.COUNTS(i) = G.YCALC(i) + ((i * 37) % 11 - 5) * 4.0;
    }
    G.CMAX = 950.0;
    G.IMAX = 32;
    G.PAR = Arr1<double, 6>{{40.0, 0.16, 900.0 * 0.16 * 3.14159 / 2.0, 20.03, 1.0, 0.5}};
    G.ANGLES = Arr1<double, 4>{{40.0, 20.0, 35.0, 120.0}};
    G.IHKL = Arr1<int, 3>{{2, 0, 0}};
    G.NREF = 12;
    G.NWAVE = 1;
    G.WAVE1 = 0.71073;
    G.FITMODE = 2;
    for (int i : {2, 3, 4, 5, 6, 7, 8, 9, 10, 13, 14, 15, 16, 17, 18, 19, 20}) GMSETWIDGETSTATUS(wid(PANEL(i)), 1);
    PLOTSCAN();
    // The plot saved as the right-click menu saves it.
    FrameWidget* frame = qt().frame(WS.GFRAME);
    const QString png = TARNIVOX_BINARY_DIR "/scan_plot_export.png";
    const QString svg = TARNIVOX_BINARY_DIR "/scan_plot_export.svg";
    ASSERT_TRUE(frame->save_picture(png));
    ASSERT_TRUE(frame->save_picture(svg));
    EXPECT_EQ(QPixmap(png).size(), frame->grab().size());
    const std::string svg_text = test::read_text(svg.toStdString());
    EXPECT_NE(svg_text.find("omega (deg)"), std::string::npos);
    EXPECT_NE(svg_text.find("Max Counts ="), std::string::npos);
    EXPECT_FALSE(frame->save_picture(TARNIVOX_BINARY_DIR "/no/such/folder/plot.svg"));
    const QPoint home = win->pos();
    GMDRAWWINDOW(wid(DLG_FITCTRL));
    QCoreApplication::processEvents();
    QWidget* box = qt().item(wid(DLG_FITCTRL)).widget.data();
    const QRect screen = win->screen()->availableGeometry();
    const QRect main = win->frameGeometry();
    EXPECT_TRUE(screen.contains(main)) << main.x() << "," << main.y() << " " << main.width() << "x" << main.height();
    if (main.width() + box->frameGeometry().width() + 8 <= screen.width()) {
        EXPECT_FALSE(main.intersects(box->frameGeometry()));
    }
    if (const char* dir = std::getenv("TARNIVOX_SCREENSHOT_DIR")) {
        const QString name = QString("%1/window_%2.png").arg(dir).arg(win->devicePixelRatio());
        EXPECT_TRUE(win->screen()->grabWindow(0).save(name));
        std::printf("screen %dx%d, window at %d,%d %dx%d, box at %d,%d %dx%d, scale %.1f\n", screen.width(),
                    screen.height(), main.x(), main.y(), main.width(), main.height(), box->frameGeometry().x(),
                    box->frameGeometry().y(), box->frameGeometry().width(), box->frameGeometry().height(),
                    win->devicePixelRatio());
    }
    GMREMOVEWINDOW(wid(DLG_FITCTRL));
    QCoreApplication::processEvents();
    // Whether or not the box had to move it aside, the window is back where it was.
    EXPECT_EQ(win->pos(), home);
}

// Pictures of the window for review: the main window with the fitting
// panel and a plot, and the fit-controls box, written to the build folder.
TEST_F(WindowOnQt, WritesScreenshotsOfWindowAndFitControls) {
    reset_store();
    driver.start({});
    QWidget* win = qt().main_window();
    win->show();
    G.TITLE = "Garnet Ca3Al2Si3O12, 293 K, omega/2theta scans";
    SHOW_TITLE();
    GMSETTEXTSETTING(wid(MAIN_INFILE), "/data/garnet/garnet.p4t");
    GMSETTEXTSETTING(wid(MAIN_OUTFILE), "/data/garnet/garnet.hkl");
    GMSETTEXTSETTING(wid(MAIN_FORMAT), "Rfine");
    GMSETWIDGETSTATUS(wid(MAIN_OUTPUT_CAPTION), 1);
    GMSETWIDGETSTATUS(wid(MAIN_FORMAT_CAPTION), 1);
    for (int i : {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 20})
        GMSETWIDGETSTATUS(wid(PANEL(i)), 1);
    GMSETTEXTSETTING(wid(PANEL(5)), "  2  4 -6");
    GMSETVALUESETTING_REAL(wid(PANEL(7)), 137);
    const double ang[] = {38.52, 19.26, -41.07, 122.9};
    for (int i = 0; i < 4; ++i) GMSETVALUESETTING_REAL(wid(PANEL(13 + i)), ang[i]);
    QCoreApplication::processEvents();
    // A peak as the scan plot would draw it: axis, counts, fit.
    double x0, x1, y0, y1;
    FRAENQ(WS.GFRAME, x0, x1, y0, y1);
    FRAACT(WS.GFRAME);
    GSETLINECOLOUR(1);
    GMOVETO2D(20, WS.XAXISY);
    GDRAWLINETO2D(x1 - 20, WS.XAXISY);
    GSETCHARSIZE(8, 12);
    GMOVETO2D(x1 / 2 - 20, 4);
    GDISPLAYSTR("omega");
    for (int pass = 0; pass < 2; ++pass) {
        GSETLINECOLOUR(pass == 0 ? 3 : 2);
        for (int i = 0; i <= 60; ++i) {
            const double t = (i - 30) / 8.0;
            const double x = 20 + (x1 - 40) * i / 60.0;
            const double y = WS.XAXISY + 10 + (y1 - 60) * std::exp(-t * t) + (pass == 0 ? (i % 3) * 4 : 0);
            if (i == 0)
                GMOVETO2D(x, y);
            else
                GDRAWLINETO2D(x, y);
        }
    }
    QCoreApplication::processEvents();
    const std::string dir = TARNIVOX_BINARY_DIR;
    EXPECT_TRUE(win->grab().save(QString::fromStdString(dir + "/tarnivox_main_window.png")));
    win->resize(win->width() * 3 / 2, win->height() * 3 / 2);
    QCoreApplication::processEvents();
    EXPECT_TRUE(win->grab().save(QString::fromStdString(dir + "/tarnivox_main_window_large.png")));

    QWidget* fc = qt().item(wid(DLG_FITCTRL)).widget.data();
    const double input[] = {0, 12.5, 0.061, 18432.7, 24.118, 0.42, 0.5};
    for (int k = 1; k <= 6; ++k) {
        GMSETVALUESETTING_REAL(wid(FC_INPUT(k)), input[k]);
        GMSETVALUESETTING_REAL(wid(FC_REFINED(k)), input[k] * 1.01);
        GMSETVALUESETTING_REAL(wid(FC_ESD(k)), input[k] * 0.02);
        GMSETVALUESETTING_REAL(wid(FC_LOWER(k)), input[k] * 0.5);
        GMSETVALUESETTING_REAL(wid(FC_UPPER(k)), input[k] * 1.5);
        GMSETTOGGLESWITCH(wid(FC_REFINE(k)), k != 6);
    }
    GMSETVALUESETTING_REAL(wid(FC_REFINED(7)), 7.215);
    GMSETTEXTSETTING(wid(FC_FLAGS), "RRRRDF");
    GMDRAWWINDOW(wid(DLG_FITCTRL));
    QCoreApplication::processEvents();
    EXPECT_TRUE(fc->grab().save(QString::fromStdString(dir + "/tarnivox_fit_controls.png")));
    // Every other box, for review of its layout.
    for (int n = 1; n <= 13; ++n) {
        QWidget* box = qt().item(WS.WID(5, n)).widget.data();
        box->show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(
            box->grab().save(QString::fromStdString(dir + "/tarnivox_box_" + std::to_string(n) + ".png")));
    }
}

}  // namespace
}  // namespace tarnivox::uitest
