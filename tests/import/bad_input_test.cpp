// Damaged instrument files: every import ends in one of the program's own
// outcomes (a fatal stop with its message, reflections left out, the end of
// the data), the defaults are written, and nothing reads past an array.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "core/exitint.h"
#include "core/store.h"
#include "import/convert.h"
#include "import/stddata.h"
#include "import_fixture.h"
#include "io/units.h"
#include "params/defaults.h"
#include "support/mutator.h"
#include "tarnivox_main.h"

namespace tarnivox::importtest {
namespace {

const std::set<std::string> kFatal = {
    "ERROR READING FIRST LINE OF DATAFILE",
    "More than 10 standards",
    "Error reading file header",
    "Unidentified Standard Refln",
    "OVERFLOW IN ANGLE_CONVERT",
    "READ ERROR ON SCAN FILE",
    "READ ERROR ON HEADER OF SCAN FILE",
    "Unexpected end of file",
    "Error reading datafile",
    "ERROR READING DATAFILE HEADER",
    "UNEXPECTED EOF IN DATAFILE HEADER",
};

bool known_fatal(const std::string& m) {
    return kFatal.count(m) != 0 || m.rfind("ERROR READING FILE: EXPECTED ", 0) == 0 ||
           m.rfind("ERROR READING FILE AT LINE ", 0) == 0;
}

class BadInput : public ImportTest, public ::testing::WithParamInterface<sim::Format> {};

TEST_P(BadInput, DamagedFilesEndInAnOutcomeOfTheProgram) {
    const sim::Format f = GetParam();
    sim::Config c;
    c.format = f;
    c.nrefl = 8;
    c.std_interval = 4;
    c.npts = 24;
    const std::string base = path("good." + sim::extension_of(f));
    sim::simulate(c, base, path("good.par"), "");
    std::ifstream in(base, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string good = ss.str();
    std::filesystem::create_directories(dir_ / "bin");
    set_program_path((dir_ / "bin" / "tarnivox").string());
    const std::filesystem::path defaults = defaults_file_path();

    int fatal = 0, completed = 0;
    for (std::uint64_t seed = 1; seed <= 70; ++seed) {
        const auto kind = static_cast<test::Damage>(seed % static_cast<std::uint64_t>(test::Damage::Count));
        SCOPED_TRACE(std::string(test::damage_name(kind)) + " seed " + std::to_string(seed));
        const std::string file = write_file("bad." + sim::extension_of(f), test::damage(good, kind, seed));
        fresh_run("command 672\n");
        set_instrument(c);
        G.INFMT = static_cast<int>(f);
        G.INFILE = "bad";
        ASSERT_EQ(open_unit(LU_INPUT, file, OpenMode::Read), 0);
        int status = 0;
        try {
            CONVERT_FILE(status);
        } catch (const ProgramEnd& end) {
            EXPECT_TRUE(known_fatal(end.message)) << end.message;
            std::filesystem::remove(defaults);
            EXPECT_EQ(finish_run(end), 0);
            EXPECT_TRUE(std::filesystem::exists(defaults));
            ++fatal;
            continue;
        } catch (...) {
            ADD_FAILURE() << "an exception other than the end of the run escaped";
            continue;
        }
        ++completed;
        EXPECT_EQ(status, 0);
        const std::string last = messages().back();
        EXPECT_TRUE(last == "Data File read in successfully" ||
                    last == "Error Reading at least 1 reflection in data file" ||
                    last == "No reflection read from data file")
            << last;
        for (const Scan& s : walk_scan_file()) {
            EXPECT_TRUE(s.npts >= 1 && s.npts <= MAXSTEPS);
            for (double a : s.angles) EXPECT_TRUE(std::isfinite(a));
            EXPECT_TRUE(std::isfinite(s.scale) && std::isfinite(s.step));
        }
    }
    set_program_path("");
    // Damage of every kind was met: some files still import, others stop.
    EXPECT_GT(fatal, 0);
    EXPECT_GT(completed, 0);
    RecordProperty("fatal", fatal);
    RecordProperty("completed", completed);
}

INSTANTIATE_TEST_SUITE_P(Formats, BadInput,
                         ::testing::Values(sim::Format::Cad4, sim::Format::Stoe, sim::Format::Huber,
                                           sim::Format::Febo, sim::Format::Xcalibur, sim::Format::Xscans,
                                           sim::Format::Standard),
                         [](const ::testing::TestParamInfo<sim::Format>& info) {
                             return sim::extension_of(info.param) +
                                    std::to_string(static_cast<int>(info.param));
                         });

TEST(Mutator, SameSeedGivesSameDamage) {
    const std::string text = "21 title\n22 1 2\n 1 2 3 4\nline four\n";
    for (std::uint64_t seed = 1; seed <= 20; ++seed)
        EXPECT_EQ(test::damage(text, seed), test::damage(text, seed));
    EXPECT_EQ(test::damage(text, test::Damage::Empty, 3), "");
    EXPECT_GE(test::damage(text, test::Damage::LongLine, 3).size(), 10000u);
}

}  // namespace
}  // namespace tarnivox::importtest
