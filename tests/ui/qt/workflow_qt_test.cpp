// The order every user follows, on the real window (offscreen) and over
// the 2,000-reflection example: open the data file and its parameter file,
// an output file, Preprocess, Calc UB, Auto profile fit, Start.  The file
// holds every reflection of the import once with direction cosines, the
// summary counts the import, and the batch's `reduce --refine` of the same
// data writes the same bytes.
#include <gtest/gtest.h>

#include <QScreen>
#include <memory>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/exitint.h"
#include "core/store.h"
#include "e2e/workflow_checks.h"
#include "io/clock.h"
#include "io/units.h"
#include "params/defaults.h"
#include "qt_driver.h"
#include "support/large_example.h"
#include "support/scratch.h"
#include "tarnivox_main.h"
#include "ui/window_state.h"

namespace tarnivox::uitest {
namespace {

namespace fs = std::filesystem;

TEST(WorkflowOnQt, PreprocessCalcUbAutoFitOnTheLargeExampleMatchesTheBatch) {
    const fs::path dir = test::make_scratch_dir("tarnivox_workflow_qt");
    const fs::path example = test::large_example_dir();
    for (const char* name : {"cad4_large.dat", "cad4_large.par"}) fs::copy_file(example / name, dir / name);
    const auto want = fitrun::imported(example / "cad4_large.truth");
    ASSERT_GT(want.size(), 1900u);
    set_defaults_file_in_use(false);
    set_clock_for_tests(1796634000);

    reset_store();
    close_all_units();
    QtDriver driver;
    // Boxes no step answers (the import's notice, "End of File", the
    // summary) are acknowledged as a user does.
    driver.answer_like_script = true;
    const fs::path out = dir / "window.hkl";
    // With TARNIVOX_SCREENSHOT_DIR set (a run on an X server with a window
    // manager, at any QT_SCALE_FACTOR) the screen is saved there at each
    // stage of the workflow, for review.
    const char* shots = std::getenv("TARNIVOX_SCREENSHOT_DIR");
    const auto shot = [shots](const char* name) {
        QWidget* win = qt().main_window();
        const QString file = QString("%1/%2_%3x.png").arg(shots).arg(name).arg(win->devicePixelRatio());
        EXPECT_TRUE(win->screen()->grabWindow(0).save(file)) << file.toStdString();
    };
    // A step that, once `ready` holds, waits for the window manager to map
    // and the window to paint what it shows, then saves the screen.
    const auto settled_shot = [shots, shot](const char* name, std::function<bool()> ready = [] { return true; }) {
        auto since = std::make_shared<QElapsedTimer>();
        return [=]() {
            if (!shots) return true;
            if (!since->isValid()) {
                if (!ready()) return false;
                since->start();
            }
            if (since->elapsed() < 600) return false;
            shot(name);
            return true;
        };
    };
    const auto box_open = [](const char* title) {
        return [title] {
            const int h = qt().find_dialog(title);
            return h && qt().item(h).widget && qt().item(h).widget->isVisible();
        };
    };
    driver.start_bare({file((dir / "cad4_large.dat").string()),
                       toggle("Input Data file Format", "Enraf CAD4", true),
                       press("Input Data file Format", "OK"),
                       browse((dir / "cad4_large.par").string()),
                       press("File", "Open output file"),
                       file(out.string()),
                       toggle("Output Format", "Shelx hkl", true),
                       press("Output Format", "Save + Exit")});
    driver.then(settled_shot("main_window", [] {
        const int h = qt().find_dialog("Output Format");
        return !h || !qt().item(h).widget || !qt().item(h).widget->isVisible();
    }));
    for (const Step& s : {press("Utilities", "Preprocess"), press("Preprocessing Control", "Go"),
                          press("Utilities", "Calc UB"), press("Unit Cell Refinement", "Refine")})
        driver.then(s);
    driver.then(settled_shot("cell_results", box_open("Cell Refinement Results")));
    for (const Step& s : {press("Cell Refinement Results", "Ok"), press("Integrate", "Auto profile fit"),
                          press("Peak parameter default values", "Save + Exit"), press("main", "Start")})
        driver.then(s);
    // "End of File", then the run's summary, pictured before it is acknowledged.
    auto summary_shot = settled_shot("run_summary");
    driver.then(
        [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->button(QMessageBox::Ok)) return false;
            const bool summary = box->text().startsWith("Run complete: ");
            if (summary && !summary_shot()) return false;
            box->button(QMessageBox::Ok)->click();
            return summary;
        },
        Step::Answer);
    // "Report" writes the page beside the data and asks the browser to show it.
    driver.then([] {
        qt().record_browser_requests = true;
        return true;
    });
    driver.then(press("Utilities", "Report"));
    driver.then(press("Utilities", "Delta-d/d"));
    driver.then(settled_shot("delta_d"));
    driver.then(close_window());
    driver.then(answer("yes"));
    // The scan plot and the fit-controls box beside it while the run goes on.
    QTimer during_run;
    QElapsedTimer since_drawn;
    bool pictured_run = false;
    QObject::connect(&during_run, &QTimer::timeout, [&] {
        // The automatic run (Preprocess also runs on the timer), with a scan drawn.
        FrameWidget* frame = qt().frame(WS.GFRAME);
        if (pictured_run || !box_open("Fitting Controls & Results")() || !qt().timer_running() || !frame ||
            frame->list.segments().empty())
            return;
        if (!since_drawn.isValid()) since_drawn.start();
        if (since_drawn.elapsed() < 600) return;
        pictured_run = true;
        shot("run_box_beside_plot");
        frame->grab().save(QString("%1/scan_plot_%2x.png").arg(shots).arg(frame->devicePixelRatio()));
    });
    if (shots) during_run.start(5);
    const auto t0 = std::chrono::steady_clock::now();
    std::string end = "<no end>";
    try {
        TARNIVOX_MAIN();
    } catch (const ProgramEnd& e) {
        end = e.message;
        finish_run(e);
    }
    std::printf("the window's workflow on the large example: %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    EXPECT_EQ(end, "");
    EXPECT_TRUE(driver.finished());
    const int read = G.NREFREAD;
    EXPECT_EQ(read, static_cast<int>(want.size()));
    std::vector<std::string> texts;
    for (const Box& b : driver.boxes()) texts.push_back(b.text);
    const fs::path page = dir / "cad4_large_report.html";
    EXPECT_EQ(qt().browser_requests(), std::vector<std::string>{page.string()});
    EXPECT_NE(std::find(texts.begin(), texts.end(), "The report of the run is in " + page.string()), texts.end());
    EXPECT_GT(fs::file_size(page), 10000u);
    set_toolkit_backend(nullptr);
    close_all_units();
    fitrun::expect_every_reflection_once_with_cosines(out, want);
    fitrun::expect_run_summary(texts, read, read, out);

    fitrun::reduce_with_refinement(dir / "cad4_large.dat", "cad4", dir / "cad4_large.par", dir / "batch.hkl");
    EXPECT_EQ(G.NREFREAD, read);
    EXPECT_EQ(reduction_counts().fitted, read);
    EXPECT_EQ(test::read_text(dir / "batch.hkl"), test::read_text(out));

    set_defaults_file_in_use(true);
    set_clock_for_tests(std::nullopt);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tarnivox::uitest
