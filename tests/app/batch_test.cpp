// The batch command line as a shell sees it: `tarnivox reduce` and
// `tarnivox convert` write the bytes the same choices write through the
// script backend, for every input format; bad usage and fatal messages end
// with their exit status and leave no output pretending to be complete;
// the progress line shows only on a terminal; the JSON summary agrees with
// the files.
#include "batch.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/scratch.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// The dates of the log headers are the only text two runs may differ in.
std::string without_dates(const std::string& text) {
    static const std::regex date(
        R"((Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 0-9][0-9] \d\d:\d\d:\d\d \d{4})");
    return std::regex_replace(text, date, "<date>");
}

std::size_t line_count(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class Batch : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = fs::path(TARNIVOX_BINARY_DIR) / "tarnivox";
        if (!fs::exists(program_)) GTEST_SKIP() << "the program is not built";
        dir_ = test::make_scratch_dir("tarnivox_batch");
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    // A copy of examples/<set> in the scratch folder under `copy`.
    fs::path example(const std::string& set, const std::string& copy) const {
        const fs::path to = dir_ / copy / set;
        fs::create_directories(to.parent_path());
        fs::copy(fs::path(TARNIVOX_SOURCE_DIR) / "examples" / set, to, fs::copy_options::recursive);
        return to;
    }

    // Runs a shell command line in the scratch folder; `prefix` goes before
    // the program (environment, ulimit).
    Outcome shell(const std::string& line) const {
        const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
        const std::string cmd = "cd '" + dir_.string() + "' && " + line + " >'" + out.string() + "' 2>'" +
                                err.string() + "' </dev/null";
        const int raw = std::system(cmd.c_str());
        Outcome o;
        o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        o.out = test::read_text(out);
        o.err = test::read_text(err);
        return o;
    }

    Outcome tarnivox(const std::string& args, const std::string& prefix = "") const {
        return shell(prefix + "'" + program_.string() + "' " + args);
    }

    Outcome script(const std::string& name, const std::string& text) const {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return tarnivox("--script '" + (dir_ / name).string() + "'");
    }

    fs::path program_;
    fs::path dir_;
};

// Opening a data set as a user of the window does.
std::string open_script(const fs::path& data, int filter, const std::string& radio, const fs::path& par,
                        const std::string& step = "") {
    std::string s = "file \"" + data.string() + "\" " + std::to_string(filter) + "\n";
    s += "press \"Input Data file Format\" \"" + radio + "\"\n";
    s += "press \"Input Data file Format\" OK\n";
    s += "browse \"" + par.string() + "\"\n";
    if (!step.empty()) s += "set Tarnivox \"Omega step size\" " + step + "\npress Tarnivox Ok\n";
    return s;
}

const std::string kFitAndExit =
    "press Integrate \"Auto profile fit\"\n"
    "press \"Peak parameter default values\" \"Save + Exit\"\n"
    "press main Start\n"
    "close\nanswer yes\n";

TEST_F(Batch, ReduceWritesTheBytesOfTheScriptRunForEveryFormat) {
    struct Case {
        std::string set, data, format, radio;
        int filter;
        std::string options;         // of reduce, beyond DATA --format --par
        std::string out;             // the intensity file the run writes
        std::string output_actions;  // the same choices in the window
        std::string step;
    };
    // Each format once, with the output layouts and ways of choosing them
    // spread over the formats: by the file name, by the filter and the
    // "Output Format" box, and by the Parameters menu.
    const std::vector<Case> cases = {
        {"cad4", "cad4.dat", "cad4", "Enraf CAD4", 7, "", "cad4.hkl",
         "press File \"Open output file\"\nfile OUT 2\n", ""},
        {"stoe", "stoe.d00", "stoe", "Stoe", 5, "--form rfine", "stoe.int",
         "press File \"Open output file\"\nfile OUT 1\n", ""},
        {"huber", "huber.dat", "huber", "Old Single", 2, "--step 0.03 --form rfine-extended", "huber.int",
         "press File \"Open output file\"\nfile OUT 1\npress Parameters \"Output format\"\n"
         "press \"Output Format\" \"Rfine extended\"\npress \"Output Format\" \"Save + Exit\"\n",
         "0.03"},
        {"febo", "febo.feb", "febo", "Phillips Febo", 6, "--out OUT --form rfine --step 0.02", "febo_result.hkl",
         "press File \"Open output file\"\nfile OUT 1\npress \"Output Format\" Rfine\n"
         "press \"Output Format\" \"Save + Exit\"\n",
         "0.02"},
        {"xcalibur", "xcalibur.dca", "xcalibur", "Xcalibur", 3, "--log LOG", "xcalibur.hkl",
         "press File \"Open log file\"\nbrowse LOG\npress File \"Open output file\"\nfile OUT 2\n", ""},
        {"xcalibur_old", "xcalibur_old.dca", "xcalibur", "Xcalibur", 3, "--out OUT", "old.hkl",
         "press File \"Open output file\"\nfile OUT 2\n", ""},
        {"xscans", "xscans.p4t", "xscans", "Xscans", 4, "--form rfine-extended --out OUT", "xscans.txt",
         "press File \"Open output file\"\nfile OUT 1\npress \"Output Format\" \"Rfine extended\"\n"
         "press \"Output Format\" \"Save + Exit\"\n",
         ""},
        {"standard", "standard.rfl", "standard", "Standard", 1, "", "standard.hkl",
         "press File \"Open output file\"\nfile OUT 2\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        const fs::path a = example(c.set, "batch"), b = example(c.set, "script");
        auto fill = [&](std::string s, const fs::path& in) {
            for (auto [key, value] : {std::pair<std::string, std::string>{"OUT", (in / c.out).string()},
                                      {"LOG", (in / "fit.log").string()}}) {
                for (std::size_t p; (p = s.find(key)) != std::string::npos;) s.replace(p, key.size(), value);
            }
            return s;
        };
        std::string options = fill(c.options, a);
        const Outcome batch = tarnivox("reduce '" + (a / c.data).string() + "' --format " + c.format +
                                       " --par '" + (a / (c.set + ".par")).string() + "' " + options);
        ASSERT_EQ(batch.status, 0) << batch.err;
        const Outcome run = script(c.set + ".script",
                                   open_script(b / c.data, c.filter, c.radio, b / (c.set + ".par"), c.step) +
                                       fill(c.output_actions, b) + kFitAndExit);
        ASSERT_EQ(run.status, 0) << run.out << run.err;

        const std::string hkl = test::read_text(a / c.out);
        EXPECT_GT(line_count(hkl), 5u);
        EXPECT_EQ(hkl, test::read_text(b / c.out));
        // The log beside the input, and the one asked for, agree too.
        const std::string log = c.set + "_Tarnivox.log";
        EXPECT_EQ(without_dates(test::read_text(a / log)), without_dates(test::read_text(b / log)));
        if (c.options.find("--log") != std::string::npos) {
            EXPECT_NE(test::read_text(a / "fit.log").find("SUMMARY OF REFLECTIONS FIT WITH AUTOFIT"),
                      std::string::npos);
            EXPECT_EQ(without_dates(test::read_text(a / "fit.log")),
                      without_dates(test::read_text(b / "fit.log")));
        }
    }
}

TEST_F(Batch, ConvertWritesTheStandardFileOfTheWindowsCopy) {
    const fs::path a = example("huber", "batch"), b = example("huber", "script");
    const Outcome batch =
        tarnivox("convert '" + (a / "huber.dat").string() + "' --format huber --step 0.025 --par '" +
                 (a / "huber.par").string() + "'");
    ASSERT_EQ(batch.status, 0) << batch.err;
    const Outcome run =
        script("convert.script", open_script(b / "huber.dat", 2, "Old Single", b / "huber.par", "0.025") +
                                     "press File \"Write Std datafile\"\nfile \"" +
                                     (b / "huber.rfl").string() + "\"\nclose\nanswer yes\n");
    ASSERT_EQ(run.status, 0);
    const std::string rfl = test::read_text(a / "huber.rfl");
    EXPECT_NE(rfl.find("DATA"), std::string::npos);
    EXPECT_EQ(rfl, test::read_text(b / "huber.rfl"));
    // The step width asked for is the one written.
    EXPECT_NE(rfl.find("0.0250"), std::string::npos);
}

TEST_F(Batch, EveryDataFileStartsFromACleanProgramState) {
    // The standard example carries an orientation matrix; a data set
    // converted from STOE does not.  The orientation matrix is never
    // cleared by an import, so a second data set reduced in the same
    // program state would get direction cosines it has no matrix for.
    const fs::path d = example("standard", "multi");
    const fs::path stoe = example("stoe", "multi");
    ASSERT_EQ(tarnivox("convert '" + (stoe / "stoe.d00").string() + "' --format stoe --par '" +
                       (stoe / "stoe.par").string() + "' --out '" + (d / "plain.rfl").string() + "' --quiet")
                  .status,
              0);
    const std::string par = "--format standard --par '" + (d / "standard.par").string() + "'";
    ASSERT_EQ(tarnivox("reduce '" + (d / "plain.rfl").string() + "' " + par + " --quiet").status, 0);
    const std::string alone = test::read_text(d / "plain.hkl");
    fs::remove(d / "plain.hkl");
    const Outcome both = tarnivox("reduce '" + (d / "standard.rfl").string() + "' '" +
                                  (d / "plain.rfl").string() + "' " + par);
    ASSERT_EQ(both.status, 0) << both.err;
    EXPECT_EQ(test::read_text(d / "plain.hkl"), alone);
    EXPECT_EQ(test::read_lines(d / "plain.hkl").front().size(), 32u);     // no direction cosines
    EXPECT_EQ(test::read_lines(d / "standard.hkl").front().size(), 80u);  // six of them
    // One summary line per data set, in order.
    EXPECT_EQ(line_count(both.out), 2u);
    EXPECT_LT(both.out.find("standard.rfl:"), both.out.find("plain.rfl:"));
}

TEST_F(Batch, BadUsageEndsWithStatusTwoAndOneLineAndWritesNothing) {
    const fs::path d = example("cad4", "usage");
    fs::create_directories(d / "folder.dat");
    std::ofstream(d / "noext", std::ios::binary) << test::read_text(d / "cad4.dat");
    const std::string par = " --par '" + (d / "cad4.par").string() + "'";
    const std::string data = "'" + (d / "cad4.dat").string() + "'";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"reduce " + data + " --format cad5" + par, "unknown format \"cad5\""},
        {"reduce '" + (d / "missing.dat").string() + "' --format cad4" + par, "does not exist"},
        {"reduce '" + (d / "folder.dat").string() + "' --format cad4" + par, "is a folder"},
        {"reduce '" + (d / "noext").string() + "' --format cad4" + par, "has no extension"},
        {"reduce " + data + " --format huber --step 0" + par, "--step must be at least 0.001"},
        {"reduce " + data + " --format cad4 --step 0.02" + par, "--step is for the huber and febo formats"},
        {"reduce " + data + " --format cad4 --symmetry cubic" + par, "--symmetry belongs to --refine"},
        {"reduce " + data + " --format cad4 --refine --symmetry trigonal" + par, "--symmetry"},
        {"reduce " + data + " --format cad4 --refine --symmetry cubic --offsets" + par,
         "--symmetry refines neither --offsets nor --omega-zero"},
        {"reduce " + data + " --format cad4 --refine --symmetry cubic --omega-zero" + par,
         "--symmetry refines neither --offsets nor --omega-zero"},
        {"reduce " + data + " --format cad4 --refine --min-i-sigma 2" + par,
         "--min-i-sigma must be at least 3"},
        {"reduce " + data + " --format cad4 --out /no/such/folder/x.hkl" + par, "does not exist"},
        {"reduce " + data + " --format cad4 --out '" + (d / "folder.dat").string() + "'" + par,
         "is a folder"},
        {"reduce " + data + " --format cad4 --out " + data + par, "would replace an input file"},
        {"reduce " + data + " " + data + " --format cad4 --out x.hkl" + par, "--out names one file"},
        {"reduce " + data + " --format cad4 --form cif" + par, "--form"},
        {"reduce " + data + " --format cad4", "--par"},
        {"reduce --format cad4" + par, "DATA"},
        {"reduce " + data + " --format cad4 --par '" + (d / "none.par").string() + "'", "does not exist"},
        {"--script x.script reduce " + data + " --format cad4" + par, "--script runs on its own"},
        // A misspelt option is unknown, not a required one missing.
        {"reduce " + data + " --fromat cad4" + par, "unknown option --fromat (did you mean --format?)"},
        {"convert " + data + " --format=cad4 --outt=x.rfl" + par, "unknown option --outt (did you mean --out?)"},
        {"reduce " + data + " --format cad4 --frobnicate" + par, "unknown option --frobnicate"},
        {"frobnicate", "frobnicate"},
    };
    for (const auto& [args, reason] : cases) {
        SCOPED_TRACE(args);
        const Outcome o = tarnivox(args);
        EXPECT_EQ(o.status, 2);
        EXPECT_TRUE(o.out.empty());
        ASSERT_FALSE(o.err.empty());
        const std::string first = o.err.substr(0, o.err.find('\n'));
        EXPECT_EQ(first.rfind("tarnivox: ", 0), 0u) << first;
        EXPECT_NE(first.find(reason), std::string::npos) << first;
        EXPECT_EQ(o.err.substr(first.size() + 1).rfind("usage: tarnivox", 0), 0u) << o.err;
    }
    // Nothing was run: no intensity file, no log.
    for (const auto& e : fs::directory_iterator(d))
        EXPECT_TRUE(e.path().extension() != ".hkl" && e.path().extension() != ".int" &&
                    e.path().extension() != ".log")
            << e.path();

    const Outcome help = tarnivox("reduce --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--format"), std::string::npos);
    const Outcome version = tarnivox("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tarnivox 3.53\n");
}

TEST_F(Batch, FatalMessageEndsWithStatusOneAndSetsTheUnfinishedFileAside) {
    // A scan record cut short: the import stops the run before any
    // intensity file is opened, and the next data set is still reduced.
    const fs::path d = example("standard", "fatal");
    std::string rfl = test::read_text(d / "standard.rfl");
    const std::size_t r = rfl.find("\nR", rfl.find("\nR") + 1);
    const std::size_t count = rfl.find("\nS", r) + 8;  // a count of the second reflection
    rfl[count] = 'x';
    std::ofstream(d / "broken.rfl", std::ios::binary) << rfl;
    const Outcome o =
        tarnivox("reduce '" + (d / "broken.rfl").string() + "' '" + (d / "standard.rfl").string() +
                 "' --format standard --par '" + (d / "standard.par").string() + "'");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("broken.rfl: [Tarnivox] READ ERROR ON SCAN FILE"), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(d / "broken.hkl"));
    EXPECT_FALSE(fs::exists(d / "broken.hkl.partial"));
    EXPECT_TRUE(fs::exists(d / "standard.hkl"));
    EXPECT_NE(o.out.find("standard.rfl:"), std::string::npos);

    // The intensity file cannot grow past 8 kB: the run stops on the
    // program's write error, and what was written keeps a name that says
    // it is unfinished.
    const fs::path big = example("cad4_large", "fatal");
    ASSERT_EQ(tarnivox("convert '" + (big / "cad4_large.dat").string() + "' --format cad4 --quiet --par '" +
                       (big / "cad4_large.par").string() + "'")
                  .status,
              0);
    const std::string reduce = "reduce '" + (big / "cad4_large.rfl").string() +
                               "' --format standard --par '" + (big / "cad4_large.par").string() +
                               "' --json summary.json";
    const Outcome cut = tarnivox(reduce, "ulimit -f 8; trap '' XFSZ; ");
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find("[Tarnivox] ERROR WRITING INTEGRATED DATA FILE"), std::string::npos) << cut.err;
    EXPECT_FALSE(fs::exists(big / "cad4_large.hkl"));
    const auto kept = fs::file_size(big / "cad4_large.hkl.partial");
    EXPECT_GT(kept, 0u);
    EXPECT_LE(kept, 8192u);
    const auto json = nlohmann::json::parse(test::read_text(dir_ / "summary.json"));
    EXPECT_EQ(json["status"], 1);
    EXPECT_EQ(json["runs"][0]["complete"], false);
    EXPECT_EQ(json["runs"][0]["outputs"]["intensities"], (big / "cad4_large.hkl.partial").string());
}

TEST_F(Batch, JsonSummaryAgreesWithTheFilesOfTheRun) {
    const fs::path d = example("cad4", "json");
    const Outcome o = tarnivox("reduce '" + (d / "cad4.dat").string() + "' --format cad4 --par '" +
                               (d / "cad4.par").string() + "' --form rfine --json run.json --quiet");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(o.out.empty());
    EXPECT_TRUE(o.err.empty());
    const auto j = nlohmann::json::parse(test::read_text(dir_ / "run.json"));
    ASSERT_EQ(j["runs"].size(), 1u);
    const auto& run = j["runs"][0];
    EXPECT_EQ(run["format"], "cad4");
    EXPECT_EQ(run["outputs"]["intensities"], (d / "cad4.int").string());
    EXPECT_EQ(run["outputs"]["form"], "rfine");
    EXPECT_EQ(run["outputs"]["log"], (d / "cad4_Tarnivox.log").string());
    const auto& n = run["counts"];

    // Imported: the reflections of the truth table marked as imported,
    // counted by their classification letter.
    std::map<std::string, int> letters;
    int imported = 0;
    for (const std::string& line : test::read_lines(d / "cad4.truth")) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream in(line);
        std::vector<std::string> w;
        for (std::string s; in >> s;) w.push_back(s);
        if (w.back() != "1") continue;
        ++imported;
        ++letters[w[w.size() - 5]];
    }
    EXPECT_EQ(n["imported"], imported);
    for (const auto& [letter, count] : letters) EXPECT_EQ(n["classification"][letter], count) << letter;

    // Every fitted reflection has its record; passed and rejected split them.
    const std::vector<std::string> records = test::read_lines(d / "cad4.int");
    EXPECT_EQ(n["fitted"].get<std::size_t>(), records.size());
    EXPECT_EQ(n["passed"].get<int>() + n["rejected"].get<int>(), n["fitted"].get<int>());
    int rejected = 0;
    for (const std::string& rec : records) rejected += rec.size() > 4 && rec[rec.size() - 8] == 'R';
    EXPECT_EQ(rejected, n["rejected"].get<int>());
    // The log's own count of passed reflections.
    const std::string log = test::read_text(d / "cad4_Tarnivox.log");
    const std::regex passed(R"((\d+) TOTAL REFLECTIONS PASSED)");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(log, m, passed));
    EXPECT_EQ(std::stoi(m[1]), n["passed"].get<int>());
}

// Rejected reflections are written from summation by default and counted;
// --rejected omit leaves them out of the SHELX file and counts that.
TEST_F(Batch, RejectedReflectionsWrittenFromSummationOrLeftOut) {
    const fs::path d = example("cad4", "rejected");
    const std::string base = "reduce '" + (d / "cad4.dat").string() + "' --format cad4 --par '" +
                             (d / "cad4.par").string() + "' --quiet --json run.json";
    ASSERT_EQ(tarnivox(base).status, 0);
    const auto all = nlohmann::json::parse(test::read_text(dir_ / "run.json"))["runs"][0]["counts"];
    const std::size_t written = test::read_lines(d / "cad4.hkl").size();
    EXPECT_GT(all["rejected"].get<int>(), 0);
    EXPECT_EQ(all["written_from_summation"], all["rejected"]);
    EXPECT_EQ(all["rejected_left_out"], 0);
    EXPECT_EQ(written, all["fitted"].get<std::size_t>());

    ASSERT_EQ(tarnivox(base + " --rejected omit").status, 0);
    const auto kept = nlohmann::json::parse(test::read_text(dir_ / "run.json"))["runs"][0]["counts"];
    EXPECT_EQ(kept["written_from_summation"], 0);
    EXPECT_EQ(kept["rejected_left_out"], all["rejected"]);
    EXPECT_EQ(test::read_lines(d / "cad4.hkl").size(), all["passed"].get<std::size_t>());
    const std::string log = test::read_text(d / "cad4_Tarnivox.log");
    EXPECT_NE(log.find(std::to_string(all["rejected"].get<int>()) + " REJECTED, LEFT OUT"),
              std::string::npos);

    const Outcome bad = tarnivox(base + " --rejected zero");
    EXPECT_EQ(bad.status, 2);
}

TEST_F(Batch, ProgressLineOnlyOnATerminal) {
    const fs::path d = example("cad4", "progress");
    const std::string args =
        "reduce '" + (d / "cad4.dat").string() + "' --format cad4 --par '" + (d / "cad4.par").string() + "'";
    // Piped: the boxes and the summary, no progress line.
    const Outcome piped = tarnivox(args);
    ASSERT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err.find('\r'), std::string::npos);
    EXPECT_EQ(piped.err.find("reflections,"), std::string::npos);
    EXPECT_NE(piped.err.find("cad4.dat: [TARNIVOX] Data File read in successfully"), std::string::npos);
    EXPECT_NE(piped.out.find("cad4.dat: 29 reflections fitted"), std::string::npos) << piped.out;

    // On a terminal (script(1) gives the program one): the line is drawn
    // in place and taken away before the summary.
    if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "script(1) is not installed";
    const Outcome tty = shell("script -q -e -c \"'" + program_.string() + "' " + args + "\" /dev/null");
    ASSERT_EQ(tty.status, 0) << tty.out;
    EXPECT_NE(tty.out.find("\rcad4.dat: 1/29 reflections, "), std::string::npos) << tty.out;
    EXPECT_NE(tty.out.find(" left\033[K"), std::string::npos);
    EXPECT_NE(tty.out.find("\r\033[Kcad4.dat: [TARNIVOX] End of File"), std::string::npos);
    EXPECT_NE(tty.out.find("cad4.dat: 29 reflections fitted"), std::string::npos);
    // --quiet: not even on a terminal.
    const Outcome quiet =
        shell("script -q -e -c \"'" + program_.string() + "' " + args + " --quiet\" /dev/null");
    EXPECT_EQ(quiet.status, 0);
    EXPECT_TRUE(quiet.out.empty()) << quiet.out;
}

TEST_F(Batch, RunsWithoutADisplayAndLeavesTheDefaultsFileAloneUnlessAsked) {
    // The program in a folder of its own, the user's configuration folder
    // (where it keeps its defaults file) in another.
    fs::create_directories(dir_ / "bin");
    fs::copy_file(program_, dir_ / "bin" / "tarnivox");
    program_ = dir_ / "bin" / "tarnivox";
    const fs::path d = example("cad4", "nodisplay");
    const std::string args = "reduce '" + (d / "cad4.dat").string() + "' --format cad4 --quiet --par '" +
                             (d / "cad4.par").string() + "'";
    const std::string no_display = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME='" +
                                   (dir_ / "config").string() + "' ";
    const fs::path kept = dir_ / "config" / "tarnivox" / "Tarnivox_defaults.dat";
    const Outcome o = tarnivox(args, no_display);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_GT(line_count(test::read_text(d / "cad4.hkl")), 20u);
    EXPECT_FALSE(fs::exists(kept));

    ASSERT_EQ(tarnivox(args + " --use-defaults", no_display).status, 0);
    EXPECT_FALSE(fs::exists(dir_ / "bin" / "Tarnivox_defaults.dat"));
    const std::string defaults = test::read_text(kept);
    EXPECT_NE(defaults.find("FORMATS:     7    3"), std::string::npos) << defaults;
    EXPECT_NE(defaults.find("IN_DIR: " + d.string()), std::string::npos) << defaults;

    // The window itself cannot open without a display: it says so.
    const Outcome window = tarnivox("", no_display);
    EXPECT_EQ(window.status, 1);
    EXPECT_NE(window.err.find("no display"), std::string::npos);
}

// The choices worked out from the command line, without running anything.
TEST(BatchPlan, DefaultOutputsSitBesideTheInputNamedAsTheWindowNamesTheLog) {
    const fs::path dir = test::make_scratch_dir("tarnivox_plan");
    std::ofstream(dir / "run.1.dat") << "x";
    std::ofstream(dir / "inst.par") << "x";
    BatchOptions o;
    o.data = {(dir / "run.1.dat").string()};
    o.format = "cad4";
    o.par = (dir / "inst.par").string();
    std::vector<BatchChoices> plan;
    ASSERT_EQ(plan_batch(o, plan), "");
    EXPECT_EQ(plan[0].out, (dir / "run.hkl").string());
    EXPECT_EQ(plan[0].form, IntensityForm::Shelx);
    o.form = "rfine-extended";
    ASSERT_EQ(plan_batch(o, plan), "");
    EXPECT_EQ(plan[0].out, (dir / "run.int").string());
    o.form.clear();
    o.out = (dir / "result.int").string();
    ASSERT_EQ(plan_batch(o, plan), "");
    EXPECT_EQ(plan[0].form, IntensityForm::Rfine);
    o.out.clear();
    o.kind = BatchKind::Convert;
    ASSERT_EQ(plan_batch(o, plan), "");
    EXPECT_EQ(plan[0].out, (dir / "run.rfl").string());
    // A standard data file is not converted onto itself.
    std::ofstream(dir / "set.rfl") << "x";
    o.data = {(dir / "set.rfl").string()};
    o.format = "standard";
    EXPECT_NE(plan_batch(o, plan).find("would replace an input file"), std::string::npos);
    // Any byte of a path is data: a double quote and a newline too.
    o.data = {(dir / "has\"quote\nline.dat").string()};
    std::ofstream(o.data[0]) << "x";
    o.format = "cad4";
    ASSERT_EQ(plan_batch(o, plan), "");
    EXPECT_EQ(plan[0].out, (dir / "has\"quote\nline.rfl").string());
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tarnivox

namespace tarnivox {
namespace {

// "Preprocess" and "Calc UB" before the fit, "Create Cif" after it: the
// same bytes as the window's steps (with the figures of the run after
// them), a cell that agrees with the simulated
// crystal within its esds and with the log's CELL line (and the CIF's),
// and a failed refinement that fits nothing.
TEST_F(Batch, RefineAndCifRunTheWindowsCommands) {
    const fs::path a = example("cad4", "batch"), b = example("cad4", "script");
    const Outcome batch =
        tarnivox("reduce '" + (a / "cad4.dat").string() + "' --format cad4 --par '" +
                 (a / "cad4.par").string() + "' --refine --symmetry monoclinic-b --cif");
    ASSERT_EQ(batch.status, 0) << batch.err;
    const Outcome run =
        script("ub.script", open_script(b / "cad4.dat", 7, "Enraf CAD4", b / "cad4.par") +
                                "press Utilities Preprocess\n"
                                "press \"Preprocessing Control\" Go\n"
                                "press Utilities \"Calc UB\"\n"
                                "toggle \"Unit Cell Refinement\" \"Symmetry constrained\" on\n"
                                "select \"Unit Cell Refinement\" \"Crystal system\" Monoclinic-b\n"
                                "press \"Unit Cell Refinement\" Refine\n"
                                "press \"Cell Refinement Results\" Ok\n"
                                "press File \"Open output file\"\nfile \"" +
                                (b / "cad4.hkl").string() +
                                "\" 2\n"
                                "press Integrate \"Auto profile fit\"\n"
                                "press \"Peak parameter default values\" \"Save + Exit\"\n"
                                "enter main ISEQ 1\n"
                                "press main Start\n"
                                "press File \"Create Cif\"\n"
                                "close\nanswer yes\n");
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string cif = test::read_text(a / "cad4_tarnivox.cif");
    // After its run the window's fragment carries the figures of the run's
    // analysis as the batch's does (limits, totals; the standards of this
    // short run give no decay, '?' in both); only the merging figures,
    // which need the Laue class the batch takes from --symmetry, are the
    // batch's alone.
    const std::string window = without_dates(test::read_text(b / "cad4_tarnivox.cif"));
    std::string batch_items;
    for (const std::string& line : test::read_lines(a / "cad4_tarnivox.cif"))
        if (line.rfind("_diffrn_reflns_av_", 0) != 0) batch_items += line + "\n";
    EXPECT_EQ(without_dates(batch_items), window);
    EXPECT_NE(window.find("\n_diffrn_reflns_theta_max"), std::string::npos) << window;
    EXPECT_NE(cif.find("\n_diffrn_reflns_av_sigmaI/netI"), std::string::npos) << cif;
    // The CIF's cell is the log's CELL line of the refinement
    // (3F9.5,3F8.3,F10.4 there, value(esd) texts in the CIF).
    const std::string log = test::read_text(a / "cad4_Tarnivox.log");
    const std::size_t at = log.rfind("\nCELL ");
    ASSERT_NE(at, std::string::npos);
    std::istringstream logged(log.substr(at + 5, log.find('\n', at + 1) - at - 5));
    const char* const items[] = {"_cell_length_a",    "_cell_length_b",   "_cell_length_c",
                                 "_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma",
                                 "_cell_volume"};
    const double half_unit[] = {5e-6, 5e-6, 5e-6, 5e-4, 5e-4, 5e-4, 5e-5};
    for (int n = 0; n < 7; ++n) {
        double in_log = 0;
        ASSERT_TRUE(logged >> in_log);
        const std::size_t item = cif.find(std::string(items[n]) + " ");
        ASSERT_NE(item, std::string::npos) << items[n];
        std::istringstream field(cif.substr(item + std::string(items[n]).size()));
        std::string text;  // value(esd), rounded where the esd's digits end
        field >> text;
        const double in_cif = std::stod(text);
        const std::size_t point = text.find('.'), paren = text.find('(');
        const int decimals = point == std::string::npos ? 0 : static_cast<int>(paren - point - 1);
        // Both are roundings of the same number: within the coarser one's half unit.
        const double tolerance = std::max(half_unit[n], 0.5 * std::pow(10.0, -decimals));
        EXPECT_NEAR(in_cif, in_log, tolerance * 1.0001) << items[n] << " " << text;
    }
    const std::string hkl = test::read_text(a / "cad4.hkl");
    EXPECT_EQ(hkl, test::read_text(b / "cad4.hkl"));
    EXPECT_EQ(test::read_lines(a / "cad4.hkl").front().size(), 80u);  // direction cosines from the refined UB
    EXPECT_EQ(without_dates(test::read_text(a / "cad4_Tarnivox.log")),
              without_dates(test::read_text(b / "cad4_Tarnivox.log")));
}

TEST_F(Batch, RefinedCellAgreesWithTheCrystalAndTheLog) {
    const fs::path d = example("cad4_large", "refine");
    const Outcome o =
        tarnivox("reduce '" + (d / "cad4_large.dat").string() + "' --format cad4 --par '" +
                 (d / "cad4_large.par").string() +
                 "' --refine --offsets --omega-zero --min-i-sigma 20 --json refine.json --quiet");
    ASSERT_EQ(o.status, 0) << o.err;
    const auto j = nlohmann::json::parse(test::read_text(dir_ / "refine.json"));
    const auto& refined = j["runs"][0]["refined"];
    ASSERT_TRUE(refined.is_object());
    EXPECT_GT(refined["reflections"].get<int>(), 100);
    ASSERT_TRUE(refined.contains("omega_zero"));
    ASSERT_EQ(refined["offsets"].size(), 3u);
    // The simulator's crystal.
    const double truth[] = {7.5, 9.1, 11.3, 90.0, 101.5, 90.0};
    const char* const names[] = {"a", "b", "c", "alpha", "beta", "gamma", "volume"};
    for (int n = 0; n < 6; ++n) {
        const double value = refined["cell"][names[n]]["value"], esd = refined["cell"][names[n]]["esd"];
        EXPECT_GT(esd, 0.0) << names[n];
        EXPECT_LT(std::fabs(value - truth[n]), 4.0 * esd + 1e-4) << names[n];
    }
    // The log's CELL line of the refinement (3F9.5,3F8.3,F10.4).
    const std::string log = test::read_text(d / "cad4_large_Tarnivox.log");
    const std::size_t at = log.rfind("\nCELL ");
    ASSERT_NE(at, std::string::npos);
    std::istringstream cell_line(log.substr(at + 5, log.find('\n', at + 1) - at - 5));
    const double half_unit[] = {5e-6, 5e-6, 5e-6, 5e-4, 5e-4, 5e-4, 5e-5};
    for (int n = 0; n < 7; ++n) {
        double logged = 0;
        ASSERT_TRUE(cell_line >> logged);
        EXPECT_NEAR(refined["cell"][names[n]]["value"].get<double>(), logged, half_unit[n] * 1.0001)
            << names[n];
    }
}

TEST_F(Batch, FailedRefinementFitsNothingAndEndsWithStatusOne) {
    // No reflection is strong enough for the refinement list.
    const fs::path d = example("cad4", "norefine");
    const Outcome o = tarnivox("reduce '" + (d / "cad4.dat").string() + "' --format cad4 --par '" +
                               (d / "cad4.par").string() + "' --refine --min-i-sigma 100000");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("cad4.dat: [Tarnivox] Too Few Reflections for Least Squares"), std::string::npos)
        << o.err;
    EXPECT_NE(o.err.find("REFINEMENT FAILED"), std::string::npos);
    EXPECT_FALSE(fs::exists(d / "cad4.hkl"));
    EXPECT_TRUE(o.out.empty());
}

}  // namespace
}  // namespace tarnivox

namespace tarnivox {
namespace {

// A file of another format (a Huber file read as CAD4): the run stops
// with the reader's own text, and its message on standard error and in the
// summary names the file, the line and what the reader expected there.
TEST_F(Batch, WrongFormatNamesTheFileTheLineAndTheExpectation) {
    const fs::path d = example("huber", "wrong");
    const fs::path data = d / "huber.dat";
    const Outcome o = tarnivox("reduce '" + data.string() + "' --format cad4 --par '" + (d / "huber.par").string() +
                               "' --json summary.json");
    EXPECT_EQ(o.status, 1);
    const std::string named = "ERROR READING FIRST LINE OF DATAFILE (Data file " + data.string() +
                              ", line 1: expected the first header record: record code 21 within columns 1-6)";
    EXPECT_NE(o.err.find("huber.dat: stopped: " + named), std::string::npos) << o.err;
    const auto json = nlohmann::json::parse(test::read_text(dir_ / "summary.json"));
    EXPECT_EQ(json["runs"][0]["message"], named);
    EXPECT_FALSE(fs::exists(d / "huber.hkl"));
}

}  // namespace
}  // namespace tarnivox
