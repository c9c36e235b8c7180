// The order every user follows, on the real window (offscreen) and over
// the 2,000-reflection example: open the data file and its parameter file,
// an output file, Preprocess, Calc UB, Auto profile fit, Start.  The file
// holds every reflection of the import once with direction cosines, the
// summary counts the import, and the batch's `reduce --refine` of the same
// data writes the same bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
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
    driver.start_bare({file((dir / "cad4_large.dat").string()),
                       toggle("Input Data file Format", "Enraf CAD4", true),
                       press("Input Data file Format", "OK"),
                       browse((dir / "cad4_large.par").string()),
                       press("File", "Open output file"),
                       file(out.string()),
                       toggle("Output Format", "Shelx hkl", true),
                       press("Output Format", "Save + Exit"),
                       press("Utilities", "Preprocess"),
                       press("Preprocessing Control", "Go"),
                       press("Utilities", "Calc UB"),
                       press("Unit Cell Refinement", "Refine"),
                       press("Cell Refinement Results", "Ok"),
                       press("Integrate", "Auto profile fit"),
                       press("Peak parameter default values", "Save + Exit"),
                       press("main", "Start"),
                       close_window(),
                       answer("yes")});
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
