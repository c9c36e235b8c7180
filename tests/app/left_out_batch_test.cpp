// Reflections the import leaves out are loud in a batch run: the summary
// line says how many of the file's reflections, and a share beyond
// --max-left-out ends the data set with status 1, its outputs written and
// the JSON saying why.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "simulate.h"
#include "support/scratch.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

TEST(LeftOutBatch, ShareLeftOutIsSaidAndBeyondTheLimitEndsWithStatusOne) {
    const fs::path program = fs::path(TARNIVOX_BINARY_DIR) / "tarnivox";
    if (!fs::exists(program)) GTEST_SKIP() << "the program is not built";
    const fs::path dir = test::make_scratch_dir("tarnivox_left_out");
    sim::Config c;
    c.format = sim::Format::Cad4;
    c.nrefl = 41;  // one of them flagged X: 40 in the file's data set
    sim::simulate(c, (dir / "set.dat").string(), (dir / "set.par").string(), "");
    // Two reflections with an unreadable count.
    std::ifstream in(dir / "set.dat");
    std::string text, line;
    for (int damaged = 0; std::getline(in, line);) {
        if (line.rfind(" 5", 0) == 0 && damaged < 2 && ++damaged) line.back() = 'x';
        text += line + "\n";
    }
    in.close();
    std::ofstream(dir / "set.dat") << text;

    const auto run = [&](const std::string& options) {
        const std::string cmd = "cd '" + dir.string() + "' && '" + program.string() +
                                "' reduce set.dat --format cad4 --par set.par --json s.json " + options +
                                " >out.txt 2>err.txt </dev/null";
        const int raw = std::system(cmd.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    EXPECT_EQ(run("--max-left-out 0.1"), 0);
    EXPECT_NE(test::read_text(dir / "out.txt").find(", 2 of 40 reflections left out -> "), std::string::npos)
        << test::read_text(dir / "out.txt");

    fs::remove(dir / "set.hkl");
    EXPECT_EQ(run(""), 1);
    const std::string why =
        "2 of 40 reflections left out by the import, more than --max-left-out 0.01 allows";
    EXPECT_NE(test::read_text(dir / "err.txt").find("set.dat: stopped: " + why), std::string::npos)
        << test::read_text(dir / "err.txt");
    const nlohmann::json j = nlohmann::json::parse(test::read_text(dir / "s.json"));
    EXPECT_EQ(j["status"], 1);
    EXPECT_EQ(j["runs"][0]["message"], why);
    EXPECT_EQ(j["runs"][0]["reflections_left_out"], 2);
    EXPECT_TRUE(fs::is_regular_file(dir / "set.hkl"));  // written whole all the same
    EXPECT_EQ(j["runs"][0]["outputs"]["intensities"], (dir / "set.hkl").string());
    std::error_code ec;
    fs::remove_all(dir, ec);
}

}  // namespace
}  // namespace tarnivox
