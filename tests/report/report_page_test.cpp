#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "report/report.h"
#include "report_sim.h"

namespace tarnivox::report {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

fs::path fresh_dir(const std::string& name) {
    const fs::path dir = fs::path(TARNIVOX_BINARY_DIR) / "test_output" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

ReportInput page_input() {
    testing::Truth tr;
    tr.decay = 0.08;
    tr.stol_max = 0.4;
    ReportInput in = testing::simulated_run(tr);
    in.title = "Simulated <monoclinic> & decaying";
    in.elapsed_s = 2.5;
    in.options = {{"--laue", "2/m"}, {"--decay-correct", ""}};
    in.decay_correct = true;
    in.cell[0].text = "7.5000(3)";
    in.omega_zero = {0.012, 0.003, ""};
    for (auto& r : in.refl)
        if (r.seq % 37 == 0) {
            r.outcome = Outcome::Rejected;
            r.reason = r.seq % 2 == 0 ? 'P' : 'W';
        } else if (r.seq % 53 == 0) {
            r.outcome = Outcome::Summation;
        }
    return in;
}

TEST(ReportPage, SelfContainedPageWithEverySectionAndEachPlotAlsoAsItsOwnFile) {
    const fs::path dir = fresh_dir("report_page");
    const ReportInput in = page_input();
    const ReportOutcome out = write_report(in, (dir / "run.html").string(), (dir / "plots").string());
    ASSERT_EQ(out.status, 0) << out.message;
    const std::string html = slurp(dir / "run.html");
    EXPECT_FALSE(fs::exists(dir / "run.html.partial"));

    // Nothing is fetched when the page is viewed.
    EXPECT_EQ(html.find("http"), std::string::npos);
    EXPECT_EQ(html.find("src="), std::string::npos);
    EXPECT_EQ(html.find("<link"), std::string::npos);
    for (const char* id : {"summary", "standards", "statistics", "merging", "diagnostics"})
        EXPECT_NE(html.find(std::string("<section id=\"") + id + "\""), std::string::npos) << id;
    // Text from the data is escaped, the decay is flagged and corrected.
    EXPECT_NE(html.find("Simulated &lt;monoclinic&gt; &amp; decaying"), std::string::npos);
    EXPECT_NE(html.find("DECAY EXCEEDS 3 ESD"), std::string::npos);
    EXPECT_NE(html.find("after the correction"), std::string::npos);
    EXPECT_NE(html.find("7.5000(3)"), std::string::npos);
    EXPECT_NE(html.find("R(int)"), std::string::npos);

    // Every plot is inline once and written beside it as a standalone SVG
    // with axes labels, title and (where it has named series) a legend.
    const std::vector<Plot> plots = report_plots(in, out.figures);
    ASSERT_EQ(out.written.size(), plots.size() + 1);
    EXPECT_EQ(count_of(html, "<svg"), static_cast<int>(plots.size()));
    EXPECT_EQ(count_of(html, "</svg>"), static_cast<int>(plots.size()));
    for (const auto& p : plots) {
        const std::string svg = slurp(dir / "plots" / (p.id + ".svg"));
        ASSERT_FALSE(svg.empty()) << p.id;
        EXPECT_EQ(svg.rfind("<?xml", 0), 0u) << p.id;
        EXPECT_NE(svg.find("xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos) << p.id;
        EXPECT_NE(svg.find("class=\"xlabel\""), std::string::npos) << p.id;
        EXPECT_NE(svg.find("class=\"ylabel\""), std::string::npos) << p.id;
        EXPECT_EQ(count_of(svg, "<svg"), 1) << p.id;
        EXPECT_EQ(count_of(svg, "<g"), count_of(svg, "</g>")) << p.id;
        bool named = false;
        for (const auto& s : p.series) named = named || !s.name.empty();
        EXPECT_EQ(svg.find("class=\"legend\"") != std::string::npos, named) << p.id;
        EXPECT_EQ(svg.find("nan"), std::string::npos) << p.id;
        EXPECT_EQ(svg.find("inf"), std::string::npos) << p.id;
    }

    // A page that cannot be written is reported, not lost in silence; an
    // empty data set still gives a page.
    const ReportOutcome bad = write_report(in, (dir / "missing" / "run.html").string(), "");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.message.find("run.html"), std::string::npos);
    ReportInput empty;
    empty.laue = "mmm";
    const ReportOutcome e = write_report(empty, (dir / "empty.html").string(), "");
    EXPECT_EQ(e.status, 0) << e.message;
    EXPECT_NE(slurp(dir / "empty.html").find("No standard reflections"), std::string::npos);
}

TEST(ReportPage, DamagedValuesGiveAPageWithoutNumbersThatAreNot) {
    const fs::path dir = fresh_dir("report_damaged");
    ReportInput in = page_input();
    in.cell[4].value = 180.0;  // no cell can have it: resolution falls back to 2theta
    in.laue = "P 21/c";
    for (auto& r : in.refl) {
        if (r.seq % 5 == 0) r.sigma = 0.0;
        if (r.seq % 7 == 0) r.i = std::numeric_limits<double>::quiet_NaN();
        if (r.seq % 11 == 0) r.gof = std::numeric_limits<double>::infinity();
        if (r.seq % 13 == 0) r.fwhm = -1.0e300;
    }
    const ReportOutcome out = write_report(in, (dir / "run.html").string(), (dir / "plots").string());
    ASSERT_EQ(out.status, 0) << out.message;
    EXPECT_TRUE(out.figures.merging.ok) << out.figures.merging.message;
    EXPECT_FALSE(std::isfinite(out.figures.merging.completeness));  // needs a cell
    EXPECT_TRUE(std::isfinite(out.figures.merging.rint));
    EXPECT_TRUE(std::isfinite(out.figures.shells.at(0).mean_i));
    const std::string html = slurp(dir / "run.html");
    EXPECT_EQ(html.find("nan"), std::string::npos);
    EXPECT_EQ(html.find(">inf"), std::string::npos);
    EXPECT_NE(html.find("unknown: no cell"), std::string::npos);
}

TEST(ReportPage, RendersInHeadlessChromium) {
    const char* candidates[] = {"/usr/bin/chromium", "/usr/bin/chromium-browser"};
    std::string browser;
    for (const char* c : candidates)
        if (fs::exists(c)) browser = c;
    if (browser.empty()) GTEST_SKIP() << "chromium is not installed";
    const fs::path dir = fresh_dir("report_chromium");
    ASSERT_EQ(write_report(page_input(), (dir / "run.html").string(), "").status, 0);
    const fs::path png = dir / "run.png";
    const std::string cmd =
        browser +
        " --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1100,9000 "
        "--screenshot=" +
        png.string() + " file://" + (dir / "run.html").string() + " >" + (dir / "chromium.log").string() +
        " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << slurp(dir / "chromium.log");
    ASSERT_TRUE(fs::exists(png));
    // A page of tables and a dozen plots is far from a blank screenshot.
    EXPECT_GT(fs::file_size(png), 100000u);
}

}  // namespace
}  // namespace tarnivox::report
