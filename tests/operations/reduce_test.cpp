// The operations called directly, as another program or the batch calls
// them: they write the batch's bytes, report what happened to each
// reflection, stop between reflections and say why a refinement failed.
#include "operations/reduce.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "batch.h"
#include "core/store.h"
#include "io/units.h"
#include "operations/open_data_set.h"
#include "operations/preprocess.h"
#include "operations/reduction.h"
#include "operations/refine_cell.h"
#include "support/scratch.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

// Counts the reflections it hears of and stops the run after `stop_after`.
struct CountingProgress : Progress {
    int calls = 0, last_done = 0, last_total = -1, stop_after = -1;
    void advance(int done, int total) override {
        ++calls;
        last_done = done;
        last_total = total;
    }
    bool stop_requested() const override { return stop_after >= 0 && calls >= stop_after; }
};

struct ShelxLine {
    int h = 0, k = 0, l = 0;
    double i = 0.0, sigma = 0.0;
};

// The (3I4,2F8.x) start of each record of a SHELX file.
std::vector<ShelxLine> shelx_lines(const fs::path& file) {
    std::vector<ShelxLine> lines;
    for (const std::string& s : test::read_lines(file)) {
        if (s.size() < 28) continue;
        ShelxLine r;
        r.h = std::stoi(s.substr(0, 4));
        r.k = std::stoi(s.substr(4, 4));
        r.l = std::stoi(s.substr(8, 4));
        r.i = std::stod(s.substr(12, 8));
        r.sigma = std::stod(s.substr(20, 8));
        lines.push_back(r);
    }
    return lines;
}

class Operations : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::make_scratch_dir("tarnivox_operations");
        close_all_units();
        reset_store();
    }
    void TearDown() override {
        close_all_units();
        reset_store();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // A copy of examples/cad4 under `copy`.
    fs::path cad4(const std::string& copy) const {
        const fs::path to = dir_ / copy;
        fs::create_directories(to);
        fs::copy(fs::path(TARNIVOX_SOURCE_DIR) / "examples" / "cad4", to, fs::copy_options::recursive);
        return to;
    }

    OpenDataSetResult open(const fs::path& set, Messages& messages) const {
        OpenDataSetRequest request;
        request.data = (set / "cad4.dat").string();
        request.format = FORMAT_CAD4;
        request.parameters = (set / "cad4.par").string();
        return open_data_set(request, messages);
    }

    // The intensity file `tarnivox reduce` writes for the copy `set`.
    int batch(const fs::path& set, const std::string& options = "") const {
        const std::string cmd = "'" + (fs::path(TARNIVOX_BINARY_DIR) / "tarnivox").string() + "' reduce '" +
                                (set / "cad4.dat").string() + "' --format cad4 --par '" +
                                (set / "cad4.par").string() + "' --quiet " + options + " >/dev/null 2>&1";
        return std::system(cmd.c_str());
    }

    fs::path dir_;
};

TEST_F(Operations, DirectCallsWriteTheBatchsFileAndOneOutcomePerReflection) {
    const fs::path by_batch = cad4("batch"), direct = cad4("direct");
    ASSERT_EQ(batch(by_batch), 0);

    MessageList messages;
    const OpenDataSetResult opened = open(direct, messages);
    ASSERT_TRUE(opened.opened);
    EXPECT_EQ(opened.read, 29);
    EXPECT_EQ(opened.refused, 0);
    EXPECT_EQ(opened.log, (direct / "cad4_Tarnivox.log").string());
    ReductionRequest request;
    request.output = (direct / "cad4.hkl").string();
    request.collect_outcomes = true;
    CountingProgress progress;
    const ReductionResult r = reduce(request, progress, messages);
    close_all_units();

    // The import's notice and the end of the data set came through the
    // operations' messages, none past them into the program's record.
    ASSERT_GE(messages.all.size(), 2u);
    EXPECT_EQ(messages.all.front().text, "Data File read in successfully");
    EXPECT_EQ(messages.all.front().kind, MessageKind::Notice);
    EXPECT_EQ(messages.all.back().text, "End of File");
    EXPECT_EQ(messages.all.back().kind, MessageKind::Information);
    EXPECT_TRUE(recorded_messages().empty());

    ASSERT_TRUE(r.complete);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(r.output, request.output);
    EXPECT_EQ(test::read_text(direct / "cad4.hkl"), test::read_text(by_batch / "cad4.hkl"));
    EXPECT_EQ(r.counts.fitted, 29);
    EXPECT_EQ(r.counts.passed + r.counts.rejected, r.counts.fitted);
    EXPECT_EQ(progress.calls, 29);
    EXPECT_EQ(progress.last_done, 29);
    EXPECT_EQ(progress.last_total, reflections_to_walk());

    // One outcome per reflection, in the order of the file, agreeing with
    // the counters and with the records as written.
    ASSERT_EQ(r.outcomes.size(), 29u);
    int passed = 0, summed = 0, standards = 0;
    std::vector<const ReflectionOutcome*> written;
    for (const ReflectionOutcome& o : r.outcomes) {
        passed += o.status != 'R';
        summed += o.summation;
        standards += o.standard != 0;
        EXPECT_EQ(o.summation, o.status == 'R');  // rejected fits go in from summation by default
        EXPECT_FALSE(o.left_out);
        EXPECT_GT(o.two_theta, 0.0);
        if (!o.left_out) written.push_back(&o);
    }
    EXPECT_EQ(passed, r.counts.passed);
    EXPECT_EQ(summed, r.counts.written_from_summation);
    EXPECT_GT(standards, 0);
    const std::vector<ShelxLine> lines = shelx_lines(direct / "cad4.hkl");
    ASSERT_EQ(lines.size(), written.size());
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const ReflectionOutcome& o = *written[n];
        EXPECT_EQ(lines[n].h, o.hkl[0]);
        EXPECT_EQ(lines[n].k, o.hkl[1]);
        EXPECT_EQ(lines[n].l, o.hkl[2]);
        EXPECT_NEAR(lines[n].i, o.intensity, 1e-4 * std::abs(o.intensity) + 0.01)
            << "reflection " << o.sequence;
        EXPECT_NEAR(lines[n].sigma, o.sigma, 1e-4 * o.sigma + 0.01) << "reflection " << o.sequence;
    }
}

TEST_F(Operations, StopBetweenReflectionsKeepsTheRecordsSoFarAsPartial) {
    const fs::path set = cad4("stopped");
    const fs::path out = set / "cad4.hkl";
    std::ofstream(out) << "an earlier complete file\n";
    MessageList messages;
    ASSERT_TRUE(open(set, messages).opened);
    ReductionRequest request;
    request.output = out.string();
    request.collect_outcomes = true;
    CountingProgress progress;
    progress.stop_after = 5;
    const ReductionResult r = reduce(request, progress, messages);

    EXPECT_TRUE(r.stopped);
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.output, out.string() + ".partial");
    EXPECT_EQ(r.outcomes.size(), 5u);
    // Whole records of the five reflections, and the earlier file as it was.
    EXPECT_EQ(shelx_lines(r.output).size(), 5u);
    EXPECT_EQ(test::read_text(out), "an earlier complete file\n");
    EXPECT_FALSE(unit_is_open(LU_OUTPUT));
    EXPECT_EQ(G.OUTOPEN, 0);
    // The fit summary belongs to a finished run only.
    close_all_units();
    EXPECT_EQ(test::read_text(set / "cad4_Tarnivox.log").find("TOTAL REFLECTIONS PASSED"), std::string::npos);

    // A run that cannot open its output writes nothing and says so.
    ReductionRequest nowhere;
    nowhere.output = (set / "no such folder" / "x.hkl").string();
    const ReductionResult failed = reduce(nowhere, progress, messages);
    EXPECT_FALSE(failed.complete);
    EXPECT_EQ(failed.failure, "Error opening file: Try again");
    EXPECT_EQ(messages.all.back().kind, MessageKind::Error);
    EXPECT_TRUE(failed.outcomes.empty());
}

TEST_F(Operations, RefusedRefinementKeepsTheCellAndSaysWhy) {
    const fs::path set = cad4("refine");
    MessageList messages;
    ASSERT_TRUE(open(set, messages).opened);
    Progress progress;
    PreprocessRequest strong;
    strong.keep_strongest = true;
    const PreprocessResult listed = preprocess(strong, progress, messages);
    ASSERT_GE(listed.stored, 3);
    const Arr1<double, 7> cell_before = G.CELL;

    // The monoclinic crystal is not orthorhombic: refused, nothing changed.
    RefineCellRequest orthorhombic;
    orthorhombic.crystal_system = 3;
    const RefineCellResult refused = refine_cell(orthorhombic, messages);
    EXPECT_FALSE(refused.refined);
    EXPECT_EQ(refused.failure, UB_FIT_WRONG_SYMMETRY);
    EXPECT_EQ(refused.failure_text, "DATA LACK THE CHOSEN SYMMETRY");
    EXPECT_EQ(refused.failure_text, ub_fit_failure_text(refused.failure));
    EXPECT_EQ(G.UBFAIL, UB_FIT_WRONG_SYMMETRY);
    for (int i = 1; i <= 7; ++i) EXPECT_EQ(G.CELL(i), cell_before(i)) << i;
    EXPECT_EQ(messages.all.back().kind, MessageKind::Error);

    // Unconstrained, the same list refines, with esds and the list's size.
    const RefineCellResult refined = refine_cell(RefineCellRequest{}, messages);
    EXPECT_TRUE(refined.refined);
    EXPECT_EQ(refined.failure, 0);
    EXPECT_EQ(refined.reflections, listed.stored);
    for (int i = 1; i <= 7; ++i) EXPECT_EQ(refined.cell[static_cast<std::size_t>(i - 1)], G.CELL(i)) << i;
}

// A file that is not in the format asked for: the call writes nothing and
// its failure names the file and the line at fault, as the batch does.
TEST_F(Operations, WrongFormatFailureNamesTheLineAtFault) {
    const fs::path huber = dir_ / "huber";
    fs::copy(fs::path(TARNIVOX_SOURCE_DIR) / "examples" / "huber", huber, fs::copy_options::recursive);
    OpenDataSetRequest input;
    input.data = (huber / "huber.dat").string();
    input.format = FORMAT_CAD4;
    input.parameters = (huber / "huber.par").string();
    ReductionRequest request;
    request.output = (huber / "huber.hkl").string();
    MessageList messages;
    Progress progress;
    const ReductionResult r = reduce_data_file(input, request, progress, messages);
    EXPECT_FALSE(r.complete);
    EXPECT_NE(r.failure.find("huber.dat, line 1:"), std::string::npos) << r.failure;
    EXPECT_FALSE(fs::exists(huber / "huber.hkl"));
}

// The library call plans as the batch does: an output that is the data or
// the parameter file, or none at all, is refused before anything is
// opened, with the batch's words, and never reported complete.
TEST_F(Operations, LibraryCallRefusesTheOutputsTheBatchRefuses) {
    const fs::path set = cad4("planned");
    const std::string data = test::read_text(set / "cad4.dat"), par = test::read_text(set / "cad4.par");
    OpenDataSetRequest input;
    input.data = (set / "cad4.dat").string();
    input.format = FORMAT_CAD4;
    input.parameters = (set / "cad4.par").string();
    const struct {
        std::string output, says;
    } cases[] = {{input.data, "would replace an input file, the data file " + input.data},
                 {input.parameters, "would replace an input file, the parameter file " + input.parameters},
                 {(set / "cad4_Tarnivox.log").string(), "are the same file"},
                 {"", "no output file given"}};
    for (const auto& c : cases) {
        ReductionRequest request;
        request.output = c.output;
        MessageList messages;
        Progress progress;
        const ReductionResult r = reduce_data_file(input, request, progress, messages);
        EXPECT_FALSE(r.complete) << c.output;
        EXPECT_NE(r.failure.find(c.says), std::string::npos) << r.failure;
        // The batch refuses the same run in the same words.
        BatchOptions o;
        o.data = {input.data};
        o.format = "cad4";
        o.par = input.parameters;
        o.out = c.output;
        std::vector<BatchChoices> plan;
        if (!c.output.empty()) {
            EXPECT_NE(plan_batch(o, plan).find(c.says), std::string::npos) << c.output;
        }
    }
    EXPECT_EQ(test::read_text(set / "cad4.dat"), data);
    EXPECT_EQ(test::read_text(set / "cad4.par"), par);
    EXPECT_FALSE(fs::exists(set / "cad4_Tarnivox.log"));
}

TEST_F(Operations, ReadmeExampleReducesTheExampleAsTheBatchDoes) {
    const fs::path program = fs::path(TARNIVOX_BINARY_DIR) / "readme_example";
    if (!fs::exists(program)) GTEST_SKIP() << "the README example is not built";
    const fs::path by_batch = cad4("batch"), example = cad4("example");
    ASSERT_EQ(batch(by_batch), 0);
    const std::string cmd = "cd '" + example.string() + "' && '" + program.string() +
                            "' cad4.dat cad4.par cad4.hkl >stdout.txt 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::vector<std::string> said = test::read_lines(example / "stdout.txt");
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.back(), "29 fitted, 20 passed -> cad4.hkl");
    EXPECT_EQ(test::read_text(example / "cad4.hkl"), test::read_text(by_batch / "cad4.hkl"));
}

}  // namespace
}  // namespace tarnivox

namespace tarnivox {
namespace {

// Huber files do not carry their omega step: the request gives it, the log
// records it, and without it nothing is opened.
TEST(OpenDataSet, StepWidthOfAFileWithoutOneComesFromTheRequest) {
    const fs::path dir = test::make_scratch_dir("tarnivox_open_step");
    fs::copy(fs::path(TARNIVOX_SOURCE_DIR) / "examples" / "huber", dir, fs::copy_options::recursive);
    close_all_units();
    reset_store();
    OpenDataSetRequest request;
    request.data = (dir / "huber.dat").string();
    request.format = FORMAT_HUBER;
    request.parameters = (dir / "huber.par").string();
    MessageList messages;
    const OpenDataSetResult without = open_data_set(request, messages);
    EXPECT_FALSE(without.opened);
    EXPECT_EQ(without.failure, "The omega step width of this data file must be given");
    request.step = 0.0005;
    EXPECT_EQ(open_data_set(request, messages).failure, "  Step size too small");

    request.step = 0.02;
    const OpenDataSetResult opened = open_data_set(request, messages);
    ASSERT_TRUE(opened.opened);
    EXPECT_GT(opened.read, 0);
    EXPECT_EQ(G.STEP, 0.02);
    close_all_units();
    EXPECT_NE(test::read_text(dir / "huber_Tarnivox.log").find("OMEGA STEP SIZE GIVEN:   0.0200 DEGREES"),
              std::string::npos);
    reset_store();
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tarnivox
