// Reflections the import leaves out are said on the summary line; beyond
// --max-left-out the data set ends with status 1, its outputs written and
// the JSON saying why.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "simulate.h"
#include "support/scratch.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

TEST(LeftOutBatch, ShareLeftOutIsSaidAndBeyondTheLimitEndsWithStatusOne) {
    const fs::path program = fs::path(TARNIVOX_BINARY_DIR) / "tarnivox",
                   dir = test::make_scratch_dir("tarnivox_lo");
    sim::Config c;
    c.nrefl = 41;  // CAD4, one reflection flagged X: 40 in the data set
    sim::simulate(c, (dir / "set.dat").string(), (dir / "set.par").string(), "");
    std::istringstream in(test::read_text(dir / "set.dat"));
    std::string text;
    bool damaged = false;  // one count unreadable
    for (std::string line; std::getline(in, line); text += line + "\n")
        if (!damaged && line.rfind(" 5", 0) == 0) damaged = (line.back() = 'x');
    std::ofstream(dir / "set.dat") << text;
    const auto run = [&](const std::string& options) {
        return std::system(("cd '" + dir.string() + "' && '" + program.string() +
                            "' reduce set.dat --format cad4 --par set.par --json s.json " + options +
                            " >out 2>err")
                               .c_str());
    };
    EXPECT_EQ(run("--max-left-out 0.03"), 0);
    EXPECT_NE(test::read_text(dir / "out").find(", 1 of 40 reflections left out -> "), std::string::npos);
    fs::remove(dir / "set.hkl");
    EXPECT_EQ(WEXITSTATUS(run("")), 1);
    const std::string why =
        "1 of 40 reflections left out by the import, more than --max-left-out 0.01 allows";
    EXPECT_NE(test::read_text(dir / "err").find("set.dat: stopped: " + why), std::string::npos);
    const nlohmann::json j = nlohmann::json::parse(test::read_text(dir / "s.json"));
    EXPECT_EQ(j["runs"][0]["message"], why);
    EXPECT_EQ(j["runs"][0]["reflections_left_out"], 1);
    EXPECT_TRUE(fs::is_regular_file(dir / "set.hkl"));  // written whole all the same
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tarnivox
