// The order every user follows in the window: open, Preprocess, Calc UB,
// Auto profile fit, Start.  The intensity file must hold every reflection
// of the data set once, in file order, with direction cosines; a second
// Start on the same open file replaces or appends as the user answers; the
// run ends with a summary naming the counts and the file.

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "e2e/workflow_checks.h"

namespace tarnivox::fitrun {
namespace {

constexpr char kPreprocess[] = "command 331\npress \"Preprocessing Control\" Go\n";
constexpr char kCalcUb[] =
    "command 332\npress \"Unit Cell Refinement\" Refine\npress \"Cell Refinement Results\" Ok\n";
constexpr char kAutoRun[] =
    "command 322\n"
    "press \"Peak parameter default values\" \"Save + Exit\"\n"
    "press main Start\n";
// Auto profile fit on an output file that holds records: the answer to the
// replace-or-append question, then the run.
std::string second_run(const char* answer) {
    return std::string("command 322\nanswer ") + answer +
           "\npress \"Peak parameter default values\" \"Save + Exit\"\npress main Start\n";
}

class NaturalWorkflow : public FitRun {
protected:
    sim::Result simulate_cad4(int nrefl) {
        sim::Config c;
        c.format = sim::Format::Cad4;
        c.seed = 37;
        c.nrefl = nrefl;
        c.scale_i = 20000.0;
        return simulate(c);
    }
    std::vector<Hkl> written() const { return hkls_of(read_intensity_file(dir_ / "out.txt", 3)); }
    std::vector<std::string> summaries() const {
        std::vector<std::string> out;
        for (const std::string& m : messages())
            if (m.rfind("Run complete: ", 0) == 0 || m.rfind("Run stopped: ", 0) == 0) out.push_back(m);
        return out;
    }
};

// The same workflow through the batch (`reduce --refine`) writes the same
// file: the window's run and the batch's start from the same start values
// on the same refined UB.
TEST_F(NaturalWorkflow, PreprocessCalcUbAutoFitWritesEveryReflectionOnceWithCosines) {
    const sim::Result r = simulate_cad4(120);
    const auto want = imported(r);
    ASSERT_EQ(run(opening("Enraf CAD4", 0.0, 3) + kPreprocess + kCalcUb + kAutoRun), "");
    EXPECT_EQ(G.UBFLAG, 1);
    expect_every_reflection_once_with_cosines(dir_ / "out.txt", want);

    // The run's "End of File", then its counts and the file with its path.
    const auto m = messages();
    const auto eof = std::find(m.rbegin(), m.rend(), "End of File");
    ASSERT_NE(eof, m.rend());
    ASSERT_NE(eof, m.rbegin());
    expect_run_summary({*(eof - 1)}, static_cast<int>(want.size()), static_cast<int>(want.size()), dir_ / "out.txt");

    reduce_with_refinement(dir_ / data_name_, "cad4", dir_ / "data.par", dir_ / "batch.hkl");
    EXPECT_EQ(G.NREFREAD, static_cast<int>(want.size()));
    EXPECT_EQ(reduction_counts().fitted, G.NREFREAD);
    expect_every_reflection_once_with_cosines(dir_ / "batch.hkl", want);
    EXPECT_EQ(test::read_text(dir_ / "batch.hkl"), test::read_text(dir_ / "out.txt"));
}

// A second Start on the output file still open: Yes replaces the first
// run's records, No appends a whole second copy; neither leaves a stray
// record of the reflection the first run ended on.  Cancel runs nothing.
TEST_F(NaturalWorkflow, SecondStartReplacesOrAppendsAsAnswered) {
    const sim::Result r = simulate_cad4(40);
    const auto want = imported(r);
    const std::string question =
        "Output file out.txt already holds reflections: Replace them (YES) or Append (No)";
    const std::string first = opening("Enraf CAD4", 0.0, 3) + kPreprocess + kAutoRun;

    ASSERT_EQ(run(first + second_run("yes")), "");
    EXPECT_EQ(written(), want);
    const auto m = messages();
    EXPECT_EQ(std::count(m.begin(), m.end(), question), 1);
    EXPECT_EQ(summaries().size(), 2u);

    TearDown();
    SetUp();
    simulate_cad4(40);
    ASSERT_EQ(run(first + second_run("no")), "");
    auto twice = want;
    twice.insert(twice.end(), want.begin(), want.end());
    EXPECT_EQ(written(), twice);

    TearDown();
    SetUp();
    simulate_cad4(40);
    ASSERT_EQ(run(first + "command 322\nanswer cancel\n"), "");
    EXPECT_EQ(written(), want);
    EXPECT_EQ(summaries().size(), 1u);
}

// Preprocessing after an automatic run starts from the same start values
// as on a freshly opened data set: the refinement list is the same.
TEST_F(NaturalWorkflow, PreprocessAfterAutoFitKeepsTheListOfAFreshPreprocess) {
    simulate_cad4(150);
    ASSERT_EQ(run(opening("Enraf CAD4", 0.0, 0) + kPreprocess), "");
    const int fresh = G.NUBREF;
    std::vector<double> fresh_tth;
    for (int n = 1; n <= fresh; ++n) fresh_tth.push_back(G.TTHREF(n));
    ASSERT_GT(fresh, 20);

    TearDown();
    SetUp();
    simulate_cad4(150);
    ASSERT_EQ(run(opening("Enraf CAD4", 0.0, 3) + kAutoRun + kPreprocess), "");
    EXPECT_EQ(G.NUBREF, fresh);
    std::vector<double> again;
    for (int n = 1; n <= G.NUBREF; ++n) again.push_back(G.TTHREF(n));
    EXPECT_EQ(again, fresh_tth);
}

}  // namespace
}  // namespace tarnivox::fitrun

namespace tarnivox::fitrun {
namespace {

// "Report" before any run says to run Auto profile fit first; after the
// run it writes the page beside the data file from that run's reflections,
// names it in a box and asks the browser to show it.  The page holds what
// the batch's --report of the same workflow holds, but for the lines that
// name how the run was made (options, time).
TEST_F(NaturalWorkflow, ReportOfTheWindowsRunIsTheBatchsReport) {
    const sim::Result r = simulate_cad4(120);
    const std::string report = "command 337\n";
    ASSERT_EQ(run(opening("Enraf CAD4", 0.0, 3) + report + kPreprocess + kCalcUb + kAutoRun + report), "");
    const fs::path page = dir_ / "data_report.html";
    const auto m = messages();
    const auto first_box = std::find_if(m.begin(), m.end(), [](const std::string& s) {
        return s.rfind("There is no run to report yet: run Auto profile fit", 0) == 0;
    });
    ASSERT_NE(first_box, m.end());
    const auto named = std::find(m.begin(), m.end(), "The report of the run is in " + page.string());
    ASSERT_NE(named, m.end());
    EXPECT_LT(first_box, named);
    const auto asked = test::script_events(ScriptEvent::OpenInBrowser);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].result, page.string());

    reduce_with_refinement(dir_ / data_name_, "cad4", dir_ / "data.par", dir_ / "batch.hkl",
                           (dir_ / "batch_report.html").string());
    // The lines of the two pages that differ: those of the options and the time.
    auto window_lines = test::read_lines(page), batch_lines = test::read_lines(dir_ / "batch_report.html");
    ASSERT_GT(window_lines.size(), 20u);
    std::sort(window_lines.begin(), window_lines.end());
    std::sort(batch_lines.begin(), batch_lines.end());
    std::vector<std::string> differ;
    std::set_symmetric_difference(window_lines.begin(), window_lines.end(), batch_lines.begin(), batch_lines.end(),
                                  std::back_inserter(differ));
    for (const std::string& l : differ)
        EXPECT_TRUE(l.find(">Options<") != std::string::npos || l.find(">Elapsed time (s)<") != std::string::npos)
            << l.substr(0, 300);
    EXPECT_EQ(static_cast<int>(imported(r).size()), G.NREFREAD);
}

}  // namespace
}  // namespace tarnivox::fitrun
