// A batch never overwrites, loses or disguises a user's data: one plan of
// every file read or written, refused before anything runs when an output
// is an input or another output; outputs that take their names only when
// complete, so that a stop by a signal, a failure or a second run to the
// same file leaves the earlier complete file as it was; paths of any depth
// and any bytes; and refusals that reach a pipeline.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "batch.h"
#include "simulate.h"
#include "support/scratch.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class OutputSafety : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = fs::path(TARNIVOX_BINARY_DIR) / "tarnivox";
        if (!fs::exists(program_)) GTEST_SKIP() << "the program is not built";
        dir_ = test::make_scratch_dir("tarnivox_safety");
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    fs::path example(const std::string& set, const fs::path& into) const {
        const fs::path to = into / set;
        fs::create_directories(to.parent_path());
        fs::copy(fs::path(TARNIVOX_SOURCE_DIR) / "examples" / set, to, fs::copy_options::recursive);
        return to;
    }

    // Runs the program with `args` (each one argument, any bytes) and waits.
    Outcome run(const std::vector<std::string>& args) const {
        const pid_t pid = start(args);
        int raw = 0;
        ::waitpid(pid, &raw, 0);
        return finished(raw);
    }

    pid_t start(const std::vector<std::string>& args) const {
        const std::string out = (dir_ / "stdout.txt").string(), err = (dir_ / "stderr.txt").string();
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int n = ::open("/dev/null", O_RDONLY);
            ::dup2(o, 1);
            ::dup2(e, 2);
            ::dup2(n, 0);
            if (::chdir(dir_.c_str()) != 0) ::_exit(127);
            std::vector<char*> argv;
            const std::string p = program_.string();
            argv.push_back(const_cast<char*>(p.c_str()));
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(p.c_str(), argv.data());
            ::_exit(127);
        }
        return pid;
    }

    Outcome finished(int raw) const {
        Outcome o;
        o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        o.out = test::read_text(dir_ / "stdout.txt");
        o.err = test::read_text(dir_ / "stderr.txt");
        return o;
    }

    fs::path program_;
    fs::path dir_;
};

std::vector<std::string> reduce_cad4(const fs::path& d, std::vector<std::string> more = {}) {
    std::vector<std::string> a = {"reduce", (d / "cad4.dat").string(), "--format", "cad4",
                                  "--par",  (d / "cad4.par").string(), "--quiet"};
    a.insert(a.end(), more.begin(), more.end());
    return a;
}

// ---------------------------------------------------------------- the plan

// Every way an output can be an input or another output, through the plan
// alone (nothing runs): each refusal names both files.
TEST(OutputPlan, RefusesAnyOutputThatIsAnInputOrAnotherOutputWhateverTheRoute) {
    const fs::path d = test::make_scratch_dir("tarnivox_outplan");
    for (const char* f : {"x.dat", "inst.par", "y.dat"}) std::ofstream(d / f) << "x";
    fs::create_directory(d / "sub");
    fs::create_symlink(d / "x.dat", d / "link.hkl");
    fs::create_hard_link(d / "inst.par", d / "hard.hkl");
    BatchOptions base;
    base.data = {(d / "x.dat").string()};
    base.format = "cad4";
    base.par = (d / "inst.par").string();
    std::vector<BatchChoices> plan;
    ASSERT_EQ(plan_batch(base, plan), "");

    struct Case {
        const char* what;
        BatchOptions o;
        std::string names;  // a second file the refusal must name
    };
    auto with = [&base](auto change) {
        BatchOptions o = base;
        change(o);
        return o;
    };
    const std::vector<Case> cases = {
        {"--json is the data", with([&](BatchOptions& o) { o.json = (d / "x.dat").string(); }), "data file"},
        {"--json is the parameters", with([&](BatchOptions& o) { o.json = (d / "inst.par").string(); }),
         "parameter file"},
        {"--json through '..'",
         with([&](BatchOptions& o) { o.json = (d / "sub" / ".." / "x.dat").string(); }), "data file"},
        {"--out through a symbolic link", with([&](BatchOptions& o) { o.out = (d / "link.hkl").string(); }),
         "data file"},
        {"--out a hard link of the parameters",
         with([&](BatchOptions& o) { o.out = (d / "hard.hkl").string(); }), "parameter file"},
        {"--out is the automatic log",
         with([&](BatchOptions& o) { o.out = (d / "x_Tarnivox.log").string(); }), "log of x.dat"},
        {"--log is the CIF", with([&](BatchOptions& o) {
             o.cif = true;
             o.log = (d / "x_tarnivox.cif").string();
         }),
         "CIF of x.dat"},
        {"--json is the --out", with([&](BatchOptions& o) {
             o.out = (d / "r.hkl").string();
             o.json = (d / "r.hkl").string();
         }),
         "output of x.dat"},
        {"--json is the unfinished output",
         with([&](BatchOptions& o) { o.json = (d / "x.hkl.partial").string(); }), "output of x.dat"},
        {"a second DATA is the first's log", with([&](BatchOptions& o) {
             std::ofstream(d / "x_Tarnivox.log") << "x";
             o.data.push_back((d / "x_Tarnivox.log").string());
         }),
         "log of x.dat"},
        {"a second DATA is the first's CIF", with([&](BatchOptions& o) {
             std::ofstream(d / "x_tarnivox.cif") << "x";
             o.cif = true;
             o.data = {(d / "x_tarnivox.cif").string(), (d / "x.dat").string()};
         }),
         "CIF of x.dat"},
        {"a plot drawn only after a decay correction is linked to the parameters",
         with([&](BatchOptions& o) {
             fs::create_directory(d / "plots");
             fs::create_symlink(d / "inst.par", d / "plots" / "standards-corrected.svg");
             o.decay_correct = true;
             o.report = (d / "r.html").string();
             o.plots = (d / "plots").string();
         }),
         "parameter file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string why = plan_batch(c.o, plan);
        EXPECT_NE(why.find(c.names), std::string::npos) << why;
        EXPECT_TRUE(why.find("would replace an input file") != std::string::npos ||
                    why.find("are the same file") != std::string::npos)
            << why;
    }

    // Only regular files are read: no device without end, no pipe, no folder.
    ASSERT_EQ(::mkfifo((d / "pipe.par").c_str(), 0644), 0);
    BatchOptions o = base;
    o.data = {"/dev/zero"};
    EXPECT_NE(plan_batch(o, plan).find("/dev/zero is not a regular file"), std::string::npos);
    o = base;
    o.par = (d / "pipe.par").string();
    EXPECT_NE(plan_batch(o, plan).find("is not a regular file"), std::string::npos);
    // An existing output that is no regular file is never renamed over.
    o = base;
    o.json = "/dev/null";
    EXPECT_NE(plan_batch(o, plan).find("/dev/null is not a regular file"), std::string::npos);
    // Huber and Febo files carry no step width: the batch does not guess one.
    for (const char* format : {"huber", "febo"}) {
        o = base;
        o.format = format;
        EXPECT_NE(plan_batch(o, plan).find("--step is required"), std::string::npos) << format;
        o.step = 0.02;
        EXPECT_EQ(plan_batch(o, plan), "") << format;
    }
    fs::remove_all(d);
}

// The refusal of the plan as a user meets it: status 2, one line naming
// both files, and the measured data untouched.
TEST_F(OutputSafety, JsonOntoTheDataIsRefusedBeforeAnythingRuns) {
    const fs::path d = example("cad4", dir_);
    const std::string before = test::read_text(d / "cad4.dat");
    const Outcome o = run(reduce_cad4(d, {"--json", (d / "cad4.dat").string()}));
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("the --json summary " + (d / "cad4.dat").string() +
                         " would replace an input file, the data file " + (d / "cad4.dat").string()),
              std::string::npos)
        << o.err;
    EXPECT_EQ(test::read_text(d / "cad4.dat"), before);
    EXPECT_FALSE(fs::exists(d / "cad4.hkl"));
    EXPECT_FALSE(fs::exists(d / "cad4_Tarnivox.log"));
}

// ---------------------------------------------------------------- stops

// A SHELX record as the intensity file holds it: 3I4, I, sigma, batch 1.
bool whole_shelx_records(const std::string& text, std::size_t& records) {
    static const std::regex record(
        R"(^[ -]{0,3}-?\d+ {0,3}-?\d+ {0,3}-?\d+ [ -]*\d*\.\d* [ ]*[\d.]+   1.*$)");
    records = 0;
    if (text.empty() || text.back() != '\n') return false;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t nl = text.find('\n', at);
        if (!std::regex_match(text.substr(at, nl - at), record)) return false;
        ++records;
        at = nl + 1;
    }
    return true;
}

// SIGINT and SIGTERM to a running reduction of 30,000 simulated
// reflections: the run stops between reflections with 130 / 143, the
// earlier complete file is as it was, the records written so far are
// whole and kept as NAME.partial, and the JSON says the run is not
// complete.  A second run to the same output while the first writes it is
// refused; a window run killed outright also leaves the old file.
TEST_F(OutputSafety, SignalsStopAtARecordAndKeepTheEarlierFileWhole) {
    sim::Config cfg;
    cfg.format = sim::Format::Standard;
    cfg.nrefl = 30000;
    cfg.seed = 21;
    const fs::path d = dir_ / "big";
    fs::create_directories(d);
    sim::simulate(cfg, (d / "big.rfl").string(), (d / "big.par").string(), "");
    const std::string earlier = "   1   2   3  100.00    1.00   1\n";
    const std::vector<std::string> args = {"reduce", (d / "big.rfl").string(), "--format", "standard",
                                           "--par",  (d / "big.par").string(), "--json",   "big.json",
                                           "--quiet"};

    // Waits until the run has written some records (or gives up).
    auto wait_for_records = [&](const fs::path& partial) {
        for (int i = 0; i < 600; ++i) {
            std::error_code ec;
            if (fs::file_size(partial, ec) > 2000 && !ec) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    };

    // A closed terminal (SIGHUP) ends the batch as SIGTERM does.
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : "SIGHUP");
        const int stopped = sig == SIGHUP ? 128 + SIGTERM : 128 + sig;
        std::ofstream(d / "big.hkl", std::ios::binary) << earlier;
        fs::remove(d / "big.hkl.partial");
        const pid_t pid = start(args);
        ASSERT_TRUE(wait_for_records(d / "big.hkl.partial"));
        if (sig == SIGINT) {
            // A second run to the same output is refused at once.
            const Outcome second = [&] {
                const std::vector<std::string> a = {
                    "reduce", (d / "big.rfl").string(), "--format", "standard",
                    "--par",  (d / "big.par").string(), "--out",    (d / "big.hkl").string(),
                    "--quiet"};
                const pid_t p2 = start(a);
                int raw = 0;
                ::waitpid(p2, &raw, 0);
                return finished(raw);
            }();
            EXPECT_EQ(second.status, 1);
            EXPECT_NE(second.err.find("being written by another run"), std::string::npos) << second.err;
        }
        ASSERT_EQ(::kill(pid, sig), 0);
        int raw = 0;
        ::waitpid(pid, &raw, 0);
        const Outcome o = finished(raw);
        EXPECT_EQ(o.status, stopped) << o.err;
        EXPECT_EQ(test::read_text(d / "big.hkl"), earlier);
        std::size_t records = 0;
        const std::string partial = test::read_text(d / "big.hkl.partial");
        EXPECT_TRUE(whole_shelx_records(partial, records)) << partial.substr(partial.size() - 200);
        EXPECT_GT(records, 10u);
        EXPECT_LT(records, 29000u);
        const auto j = nlohmann::json::parse(test::read_text(dir_ / "big.json"));
        EXPECT_EQ(j["status"], stopped);
        EXPECT_EQ(j["complete"], false);
        EXPECT_EQ(j["runs"][0]["complete"], false);
        EXPECT_EQ(j["runs"][0]["outputs"]["intensities"], (d / "big.hkl.partial").string());
        EXPECT_FALSE(fs::exists(dir_ / "big.json.partial"));
    }

    // The window's own runs (here headless) write the same way: killed
    // outright in the middle of the automatic fit, the old file stays.
    std::ofstream(d / "big.hkl", std::ios::binary) << earlier;
    fs::remove(d / "big.hkl.partial");
    std::ofstream(dir_ / "fit.script", std::ios::binary)
        << "file big/big.rfl 1\npress \"Input Data file Format\" Standard\npress \"Input Data file Format\" "
           "OK\n"
           "browse big/big.par\npress File \"Open output file\"\nfile big/big.hkl 2\nanswer yes\n"
           "press Integrate \"Auto profile fit\"\npress \"Peak parameter default values\" \"Save + Exit\"\n"
           "press main Start\nclose\nanswer yes\n";
    const pid_t pid = start({"--script", (dir_ / "fit.script").string()});
    ASSERT_TRUE(wait_for_records(d / "big.hkl.partial"));
    ::kill(pid, SIGKILL);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    EXPECT_EQ(test::read_text(d / "big.hkl"), earlier);
}

// ---------------------------------------------------------------- paths

// Paths are data: a folder deeper than 255 characters keeps its CIF where
// the plan says (not in a folder the cut path would name), and a path with
// a newline, a double quote and blanks reduces like a plain one.
TEST_F(OutputSafety, PathsOfAnyLengthAndAnyBytesAreUsedWhole) {
    const fs::path plain = example("cad4", dir_ / "plain");
    ASSERT_EQ(run(reduce_cad4(plain, {"--cif"})).status, 0);
    const std::string hkl = test::read_text(plain / "cad4.hkl");
    ASSERT_FALSE(hkl.empty());

    // The folder that ends exactly at column 255 is the one a cut path
    // would name: a CIF put there would overwrite its own.
    fs::path parent = dir_;
    while (parent.string().size() + 1 < 255) {
        const std::size_t room = 255 - parent.string().size() - 1;
        parent /= std::string(std::min<std::size_t>(room > 1 ? room - 1 : 1, 100), 'p');
    }
    ASSERT_EQ((parent.string() + "/").size(), 255u) << parent;
    const fs::path deep = example("cad4", parent / "child");
    std::ofstream(parent / "cad4_tarnivox.cif") << "the parent's own CIF\n";
    const Outcome o = run(reduce_cad4(deep, {"--cif", "--json", "deep.json"}));
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(test::read_text(parent / "cad4_tarnivox.cif"), "the parent's own CIF\n");
    EXPECT_EQ(test::read_text(deep / "cad4_tarnivox.cif"), test::read_text(plain / "cad4_tarnivox.cif"));
    EXPECT_EQ(test::read_text(deep / "cad4.hkl"), hkl);
    const auto j = nlohmann::json::parse(test::read_text(dir_ / "deep.json"));
    EXPECT_EQ(j["runs"][0]["outputs"]["cif"], (deep / "cad4_tarnivox.cif").string());

    const fs::path odd = example("cad4", dir_ / "new\nline \"quoted\" dir");
    const Outcome q = run(reduce_cad4(odd));
    ASSERT_EQ(q.status, 0) << q.err;
    EXPECT_EQ(test::read_text(odd / "cad4.hkl"), hkl);
    EXPECT_TRUE(fs::exists(odd / "cad4_Tarnivox.log"));
}

// A reader of the summary lines that goes away (`| head -1`) stops the
// batch as an interrupt, with the summary of what was done; a data file
// whose name is no UTF-8 is reduced and named in the JSON by its bytes.
TEST_F(OutputSafety, AClosedPipeAndANameOfAnyBytesLeaveTheSummary) {
    const fs::path one = example("cad4", dir_ / "one"), two = example("cad4", dir_ / "two");
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    ::close(pipe_fds[0]);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipe_fds[1], 1);
        const int e = ::open("/dev/null", O_WRONLY);
        ::dup2(e, 2);
        if (::chdir(dir_.c_str()) != 0) ::_exit(127);
        const std::string p = program_.string(), a = (one / "cad4.dat").string(), b = (two / "cad4.dat").string(),
                          par = (one / "cad4.par").string();
        ::execl(p.c_str(), p.c_str(), "reduce", a.c_str(), b.c_str(), "--format", "cad4", "--par", par.c_str(),
                "--json", "pipe.json", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipe_fds[1]);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    ASSERT_TRUE(WIFEXITED(raw)) << "ended by signal " << WTERMSIG(raw);
    EXPECT_EQ(WEXITSTATUS(raw), 128 + SIGPIPE);
    auto j = nlohmann::json::parse(test::read_text(dir_ / "pipe.json"));
    EXPECT_EQ(j["status"], 128 + SIGPIPE);
    EXPECT_EQ(j["stopped_by"], "INTERRUPTED (STANDARD OUTPUT CLOSED)");
    ASSERT_EQ(j["runs"].size(), 1u);
    EXPECT_EQ(j["runs"][0]["complete"], true);
    EXPECT_FALSE(fs::exists(two / "cad4.hkl"));

    fs::copy_file(one / "cad4.dat", one / "x\xe9\xff.dat");
    const Outcome o = run({"reduce", (one / "x\xe9\xff.dat").string(), "--format", "cad4", "--par",
                           (one / "cad4.par").string(), "--json", "bytes.json", "--quiet"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(fs::exists(one / "x\xe9\xff.hkl"));
    j = nlohmann::json::parse(test::read_text(dir_ / "bytes.json"));
    EXPECT_EQ(j["runs"][0]["input"], (one / "x\u00e9\u00ff.dat").string());
}

// The automatic log that cannot be made beside the data file goes beside
// the output, found before the first fit; when it cannot go there either
// the run is refused before any work unless the fit's log goes elsewhere.
TEST_F(OutputSafety, AnAutomaticLogThatCannotBeMadeIsReported) {
    const fs::path d = example("cad4", dir_);
    fs::create_directory(d / "cad4_Tarnivox.log");  // a folder where the log would go
    // Found before the first fit: nothing is written.
    const Outcome o = run(reduce_cad4(d, {"--json", "log.json"}));
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("cad4_Tarnivox.log cannot be written beside the data file"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("--log"), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(d / "cad4.hkl"));
    const Outcome elsewhere =
        run(reduce_cad4(d, {"--log", (dir_ / "fit.log").string(), "--json", "log.json"}));
    EXPECT_EQ(elsewhere.status, 0) << elsewhere.err;
    auto j = nlohmann::json::parse(test::read_text(dir_ / "log.json"));
    EXPECT_TRUE(j["runs"][0]["outputs"]["import_log"].is_null());
    EXPECT_EQ(j["runs"][0]["outputs"]["log"], (dir_ / "fit.log").string());
    fs::create_directory(dir_ / "out");
    const Outcome beside = run(reduce_cad4(d, {"--out", (dir_ / "out" / "x.hkl").string(), "--json", "log.json"}));
    EXPECT_EQ(beside.status, 0) << beside.err;
    j = nlohmann::json::parse(test::read_text(dir_ / "log.json"));
    EXPECT_EQ(j["runs"][0]["outputs"]["log"], (dir_ / "out" / "cad4_Tarnivox.log").string());
    EXPECT_EQ(j["runs"][0]["outputs"]["log_refused_beside_input"], (d / "cad4_Tarnivox.log").string());
    EXPECT_NE(test::read_text(dir_ / "out" / "cad4_Tarnivox.log").find("INTEGRATED DATA FILE OPENED"),
              std::string::npos);
}

// A NAME.partial an earlier run left is made anew, never emptied in place
// (a hard link to it keeps its records); a link in its place is refused by
// its own name.
TEST_F(OutputSafety, ALeftoverPartialIsMadeAnewAndALinkInItsPlaceIsNamed) {
    const fs::path d = example("cad4", dir_);
    const std::string leftover = "   1   2   3  100.00    1.00   1\n";
    std::ofstream(d / "cad4.hkl.partial") << leftover;
    fs::create_hard_link(d / "cad4.hkl.partial", dir_ / "kept.hkl");
    ASSERT_EQ(run(reduce_cad4(d)).status, 0);
    EXPECT_EQ(test::read_text(dir_ / "kept.hkl"), leftover);
    EXPECT_GT(fs::file_size(d / "cad4.hkl"), 500u);
    fs::create_symlink(dir_ / "elsewhere", d / "cad4.hkl.partial");
    const Outcome o = run(reduce_cad4(d));
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find((d / "cad4.hkl.partial").string() + " is a symbolic link; remove it"), std::string::npos)
        << o.err;
    EXPECT_FALSE(fs::exists(dir_ / "elsewhere"));
}

// ---------------------------------------------------------------- refusals

// A reflection the reader refuses reaches the JSON with the box's text;
// --strict turns it into status 1.  The log keeps the step a Huber file
// was integrated with.
TEST_F(OutputSafety, RefusalsReachThePipelineAndStrictFailsOnThem) {
    const fs::path d = example("cad4", dir_);
    // A reflection record whose h is no number: the CAD4 reader refuses it.
    std::string data = test::read_text(d / "cad4.dat");
    std::size_t at = 0;
    for (int n = 0; n < 40; ++n) at = data.find('\n', at) + 1;
    data.replace(at, 4, "  x ");
    std::ofstream(d / "cad4.dat", std::ios::binary) << data;
    // (1 of 29 left out: beyond the default share --max-left-out allows.)
    const Outcome o = run(reduce_cad4(d, {"--json", "r.json", "--max-left-out", "0.05"}));
    ASSERT_EQ(o.status, 0) << o.err;
    auto j = nlohmann::json::parse(test::read_text(dir_ / "r.json"));
    EXPECT_EQ(j["runs"][0]["reflections_refused"], true);
    EXPECT_EQ(j["runs"][0]["reflections_left_out"], 1);
    ASSERT_FALSE(j["runs"][0]["warnings"].empty());
    EXPECT_EQ(j["runs"][0]["warnings"][0]["text"], "Error Reading at least 1 reflection in data file");
    const Outcome strict = run(reduce_cad4(d, {"--json", "r.json", "--strict"}));
    EXPECT_EQ(strict.status, 1);
    j = nlohmann::json::parse(test::read_text(dir_ / "r.json"));
    EXPECT_EQ(j["runs"][0]["complete"], false);
    EXPECT_NE(j["runs"][0]["message"].get<std::string>().find("Error Reading"), std::string::npos);

    // A clean run has no warning, strict or not.
    const fs::path clean = example("cad4", dir_ / "clean");
    EXPECT_EQ(run(reduce_cad4(clean, {"--strict", "--json", "c.json"})).status, 0);
    j = nlohmann::json::parse(test::read_text(dir_ / "c.json"));
    EXPECT_EQ(j["runs"][0]["reflections_refused"], false);
    EXPECT_EQ(j["runs"][0]["reflections_left_out"], 0);
    EXPECT_TRUE(j["runs"][0]["warnings"].empty());

    // With the refinement too: how many reflections preprocessing kept is
    // the step's account, not a warning, while a refused reflection still is.
    const fs::path refined = example("cad4", dir_ / "refined");
    const Outcome clean_refine = run(reduce_cad4(refined, {"--refine", "--strict", "--json", "rc.json"}));
    EXPECT_EQ(clean_refine.status, 0) << clean_refine.err;
    j = nlohmann::json::parse(test::read_text(dir_ / "rc.json"));
    EXPECT_TRUE(j["runs"][0]["warnings"].empty()) << j["runs"][0]["warnings"].dump();
    const Outcome damaged_refine = run(reduce_cad4(d, {"--refine", "--strict", "--json", "rd.json"}));
    EXPECT_EQ(damaged_refine.status, 1);
    j = nlohmann::json::parse(test::read_text(dir_ / "rd.json"));
    ASSERT_EQ(j["runs"][0]["warnings"].size(), 1u) << j["runs"][0]["warnings"].dump();
    EXPECT_EQ(j["runs"][0]["warnings"][0]["text"], "Error Reading at least 1 reflection in data file");

    const fs::path h = example("huber", dir_);
    const Outcome huber = run({"reduce", (h / "huber.dat").string(), "--format", "huber", "--par",
                               (h / "huber.par").string(), "--step", "0.025", "--quiet"});
    ASSERT_EQ(huber.status, 0) << huber.err;
    EXPECT_NE(test::read_text(h / "huber_Tarnivox.log").find("OMEGA STEP SIZE GIVEN:   0.0250 DEGREES"),
              std::string::npos);
}

}  // namespace
}  // namespace tarnivox
