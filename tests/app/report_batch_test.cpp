// The reduction report from the command line: a simulated CAD4 data set
// reduced with --report, --plots and --laue gives one self-contained page,
// an SVG file per plot, and a JSON summary whose figures are the page's.
// The options that belong to --report, and the report's files, are
// checked like every other output of a batch.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <vector>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "simulate.h"
#include "support/scratch.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Reduced {
    int status = -1;
    std::string err;
};

class ReportBatch : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = fs::path(TARNIVOX_BINARY_DIR) / "tarnivox";
        if (!fs::exists(program_)) GTEST_SKIP() << "the program is not built";
        dir_ = test::make_scratch_dir("tarnivox_report_batch");
        sim::Config cfg;
        cfg.format = sim::Format::Cad4;
        cfg.nrefl = 300;
        cfg.seed = 7;
        truth_ = sim::simulate(cfg, (dir_ / "xtal.dat").string(), (dir_ / "xtal.par").string(), "");
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    Reduced tarnivox(const std::string& args) const {
        const fs::path err = dir_ / "stderr.txt";
        const std::string cmd = "cd '" + dir_.string() + "' && '" + program_.string() +
                                "' reduce xtal.dat --format cad4 --par xtal.par --quiet " + args + " >/dev/null 2>'" +
                                err.string() + "' </dev/null";
        const int raw = std::system(cmd.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, test::read_text(err)};
    }

    fs::path program_;
    fs::path dir_;
    sim::Result truth_;
};

// The text of a summary row of the page.
std::string row(const std::string& html, const std::string& name) {
    std::smatch m;
    const std::regex re("<th class=\"l\">" + name + "</th><td class=\"l\">([^<]*)</td>");
    return std::regex_search(html, m, re) ? m[1].str() : std::string("(no row " + name + ")");
}

// R(int) of the written SHELX file under 2/m, computed here on its own:
// the file's records in the order of measurement, each standard counted
// at its first measurement only (its repeats measure the crystal's
// stability, not equivalents).
double rint_2m(const std::string& hkl_text, const sim::Result& truth, std::size_t& records) {
    std::vector<const sim::Truth*> measured;
    for (const sim::Truth& t : truth.refl)
        if (t.in_data_set) measured.push_back(&t);
    std::map<std::array<int, 3>, std::vector<double>> groups;
    std::set<int> standards_seen;
    std::istringstream in(hkl_text);
    records = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.size() < 28) continue;
        std::array<int, 3> h{std::stoi(line.substr(0, 4)), std::stoi(line.substr(4, 4)), std::stoi(line.substr(8, 4))};
        if (h == std::array<int, 3>{0, 0, 0}) break;
        const double i = std::stod(line.substr(12, 8));
        const sim::Truth* t = records < measured.size() ? measured[records] : nullptr;
        ++records;
        if (t && t->isctype > 0 && !standards_seen.insert(t->isctype).second) continue;
        // The equivalents of 2/m: (h k l), (-h -k -l), (-h k -l), (h -k l).
        std::array<int, 3> key = h;
        for (const std::array<int, 3>& e : {std::array<int, 3>{-h[0], -h[1], -h[2]},
                                            std::array<int, 3>{-h[0], h[1], -h[2]},
                                            std::array<int, 3>{h[0], -h[1], h[2]}})
            key = std::max(key, e);
        groups[key].push_back(i);
    }
    double num = 0.0, den = 0.0;
    for (const auto& [key, v] : groups) {
        if (v.size() < 2) continue;
        double mean = 0.0;
        for (double x : v) mean += x / static_cast<double>(v.size());
        for (double x : v) {
            num += std::fabs(x - mean);
            den += x;
        }
    }
    return num / den;
}

TEST_F(ReportBatch, ReductionWritesASelfContainedPageItsPlotsAndTheSameFiguresInTheSummary) {
    const Reduced r = tarnivox(
        "--refine --symmetry monoclinic-b --report xtal.html --plots plots --laue 2/m --cif --json s.json");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string html = test::read_text(dir_ / "xtal.html");
    ASSERT_FALSE(html.empty());
    EXPECT_EQ(html.find("http"), std::string::npos) << "the page must need no network";
    EXPECT_EQ(html.find("src="), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ / "xtal.html.partial"));

    // One SVG file per plot, each a standalone document, also inline in the page.
    int svgs = 0;
    for (const auto& e : fs::directory_iterator(dir_ / "plots")) {
        ASSERT_EQ(e.path().extension(), ".svg") << e.path();
        const std::string svg = test::read_text(e.path());
        EXPECT_EQ(svg.rfind("<?xml", 0), 0u) << e.path();
        EXPECT_NE(svg.find("xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos) << e.path();
        EXPECT_EQ(svg.find("nan"), std::string::npos) << e.path();
        ++svgs;
    }
    for (const char* id : {"standards", "i-over-sigma", "shells", "wilson", "rejections", "fwhm", "delta-d"})
        EXPECT_TRUE(fs::exists(dir_ / "plots" / (std::string(id) + ".svg"))) << id;
    std::size_t inline_svgs = 0;
    for (std::size_t at = html.find("<svg"); at != std::string::npos; at = html.find("<svg", at + 1))
        ++inline_svgs;
    EXPECT_EQ(inline_svgs, static_cast<std::size_t>(svgs));

    // The summary of the run and the page say the same.
    const json s = json::parse(test::read_text(dir_ / "s.json"));
    const json& run = s["runs"][0];
    EXPECT_EQ(run["outputs"]["report"], (dir_ / "xtal.html").string());
    EXPECT_EQ(run["outputs"]["plots"], (dir_ / "plots").string());
    const json& n = run["counts"];
    EXPECT_EQ(row(html, "Reflections read"), std::to_string(n["imported"].get<int>()));
    EXPECT_EQ(row(html, "Reflections fitted"), std::to_string(n["fitted"].get<int>()));
    // Every rejected fit is written from its summation (the default): the
    // page's passed and summation counts are the run's, and the rejected
    // fits are counted by letter as the run counts them.
    EXPECT_EQ(row(html, "Passed"),
              std::to_string(n["passed"].get<int>() - n["recovered"].get<int>()));
    EXPECT_EQ(row(html, "Of them written from summation"),
              std::to_string(n["written_from_summation"].get<int>()));
    EXPECT_EQ(row(html, "Rejected").substr(0, row(html, "Rejected").find(' ')),
              std::to_string(n["rejected"].get<int>()));
    // The refined cell as value(esd), as the CIF gives it.
    const std::string cif = test::read_text(dir_ / "xtal_tarnivox.cif");
    std::smatch a;
    ASSERT_TRUE(std::regex_search(cif, a, std::regex(R"(_cell_length_a\s+(\S+))"))) << cif;
    EXPECT_EQ(row(html, "Cell a \\(&Aring;\\)"), a[1].str());

    const json& f = run["report"];
    EXPECT_EQ(f["laue"], "P 1 2/m 1");
    ASSERT_TRUE(f["r_int"].is_number()) << f.dump();
    std::size_t records = 0;
    const double rint = rint_2m(test::read_text(dir_ / "xtal.hkl"), truth_, records);
    EXPECT_EQ(records, static_cast<std::size_t>(n["fitted"].get<int>()));
    // The file's five or six significant digits.
    EXPECT_NEAR(f["r_int"].get<double>(), rint, 1e-4 * rint);
    ASSERT_TRUE(f["completeness_percent"].is_number());
    EXPECT_GT(f["completeness_percent"].get<double>(), 0.0);
    EXPECT_LE(f["completeness_percent"].get<double>(), 100.0);
    // The simulated crystal does not decay: measured, within 3 esd of none.
    ASSERT_TRUE(f["decay_percent"].is_number()) << f.dump();
    EXPECT_FALSE(f["decay_flagged"].get<bool>());
    EXPECT_LE(std::abs(f["decay_percent"].get<double>()), 3.0 * f["decay_esd_percent"].get<double>());
    ASSERT_TRUE(f["wilson_b"].is_number()) << f.dump();
    // The shells run from low to high resolution without a gap, hold the
    // measured reflections between them, and end at the data's resolution.
    const json& shells = f["shells"];
    ASSERT_GE(shells.size(), 2u) << f.dump();
    EXPECT_TRUE(shells[0]["d_max"].is_null());
    int in_shells = 0;
    for (std::size_t k = 0; k < shells.size(); ++k) {
        in_shells += shells[k]["reflections"].get<int>();
        if (k > 0) {
            EXPECT_DOUBLE_EQ(shells[k]["d_max"].get<double>(), shells[k - 1]["d_min"].get<double>());
        }
    }
    EXPECT_GT(in_shells, static_cast<int>(0.9 * static_cast<double>(records)));
    EXPECT_LE(in_shells, static_cast<int>(records));
    EXPECT_NEAR(f["redundancy"].get<double>() * f["unique_reflections"].get<int>(),
                std::round(f["redundancy"].get<double>() * f["unique_reflections"].get<int>()), 1e-6);
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", f["r_int"].get<double>());
    EXPECT_NE(html.find(text), std::string::npos) << "R(int) " << text << " is not on the page";
}

// The report's options on their own, and its files against the others:
// each refused before anything runs, with the reason.
TEST_F(ReportBatch, ReportOptionsAreCheckedWithTheBatchsOutputs) {
    fs::copy_file(dir_ / "xtal.dat", dir_ / "second.dat");
    fs::create_directories(dir_ / "plots");
    const struct {
        const char* args;
        const char* reason;
    } bad[] = {
        {"--plots plots", "--plots belongs to --report"},
        {"--report r.html --laue 7/q", "unknown --laue \"7/q\""},
        {"--report r.html second.dat", "--report names one file"},
        {"--report xtal.dat", "would replace an input file"},
        {"--report xtal.hkl", "are the same file"},
        {"--report r.html --plots xtal.par", "is a file, not a folder"},
        {"--report plots/wilson.svg --plots plots", "are the same file"},
    };
    for (const auto& b : bad) {
        const Reduced r = tarnivox(b.args);
        EXPECT_EQ(r.status, 2) << b.args << "\n" << r.err;
        EXPECT_NE(r.err.find(b.reason), std::string::npos) << b.args << "\n" << r.err;
    }
    EXPECT_FALSE(fs::exists(dir_ / "xtal.hkl"));

    // A page that cannot be written ends the data set with the reason, and
    // the summary names no report.
    fs::create_directories(dir_ / "ro");
    fs::permissions(dir_ / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    if (::access((dir_ / "ro").c_str(), W_OK) != 0) {
        const Reduced r = tarnivox("--report r.html --plots ro/sub --json s.json");
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("Cannot make the plot folder"), std::string::npos) << r.err;
        const json s = json::parse(test::read_text(dir_ / "s.json"));
        EXPECT_TRUE(s["runs"][0]["outputs"]["report"].is_null());
        EXPECT_TRUE(s["runs"][0]["report"].is_null());
    }
    fs::permissions(dir_ / "ro", fs::perms::owner_all);
}

TEST_F(ReportBatch, SymmetryIsTakenInItsUsualSpellingsAndMustFitTheCell) {
    for (const char* args : {"--report r.html --laue 0", "--report r.html --laue 14",
                             "--report r.html --space-group 14 --laue 2/m", "--report r.html --space-group P9"}) {
        const Reduced r = tarnivox(args);
        EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
    }
    // A class the refined monoclinic cell cannot have is refused before
    // the fit, with the cell named.
    for (const char* laue : {"m-3m", "MMM"}) {
        const Reduced r = tarnivox(std::string("--refine --report r.html --laue ") + laue);
        EXPECT_EQ(r.status, 1) << laue << "\n" << r.err;
        EXPECT_NE(r.err.find("cannot have the symmetry of"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir_ / "r.html"));
    }
    // Its own class in capitals is taken; the CIF's unique total never
    // exceeds the reflections measured, and the standards' interval is
    // the run's (one standard after every 10 reflections), not 0.
    const Reduced ok = tarnivox("--refine --cif --report r.html --laue 2/M --json s.json");
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(json::parse(test::read_text(dir_ / "s.json"))["runs"][0]["report"]["laue"], "P 1 2/m 1");
    std::map<std::string, std::string> items;
    for (const std::string& line : test::read_lines(dir_ / "xtal_tarnivox.cif")) {
        std::istringstream words(line);
        std::string name, value;
        if (words >> name >> value) items[name] = value;
    }
    EXPECT_LE(std::stoi(items["_reflns_number_total"]), std::stoi(items["_diffrn_reflns_number"]));
    EXPECT_EQ(items["_diffrn_standards_interval_count"], "9");
}

}  // namespace
}  // namespace tarnivox
