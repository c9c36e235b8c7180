// The example data sets through the whole program, driven by a script:
// open each with its format and parameter file, write it as a standard data
// file with command 319, and open that file again as format "Standard".
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "core/exitint.h"
#include "core/store.h"
#include "import_fixture.h"
#include "io/units.h"
#include "params/defaults.h"
#include "params/parameters.h"
#include "tarnivox_main.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox::importtest {
namespace {

namespace fs = std::filesystem;

struct Example {
    const char* dir;
    const char* file;
    const char* radio;  // label of the format dialog
    int infmt;
};

const Example kExamples[] = {
    {"cad4", "cad4.dat", "Enraf CAD4", 7},       {"stoe", "stoe.d00", "Stoe", 5},
    {"huber", "huber.dat", "Old Single", 2},     {"febo", "febo.feb", "Phillips Febo", 6},
    {"xcalibur", "xcalibur.dca", "Xcalibur", 3}, {"xcalibur_old", "xcalibur_old.dca", "Xcalibur", 3},
    {"xscans", "xscans.p4t", "Xscans", 4},       {"standard", "standard.rfl", "Standard", 1},
};

class ExamplesRun : public ImportTest, public ::testing::WithParamInterface<Example> {
protected:
    void SetUp() override {
        ImportTest::SetUp();
        fs::create_directories(dir_ / "bin");
        set_program_path((dir_ / "bin" / "tarnivox").string());
    }
    void TearDown() override {
        set_program_path("");
        ImportTest::TearDown();
    }
    // Runs the program on a script; the message it ended with.
    std::string run(const std::string& script) {
        reset_store();
        close_all_units();
        auto backend = ScriptBackend::from_text(script, dir_.string());
        backend->echo = false;
        set_toolkit_backend(std::move(backend));
        try {
            TARNIVOX_MAIN();
        } catch (const ProgramEnd& end) {
            finish_run(end);
            return end.message;
        }
        return "(no end)";
    }
    static std::string open_script(const std::string& data, const std::string& par, const std::string& radio,
                                   int infmt) {
        std::string s = "file \"" + data + "\"\n";
        s += "toggle \"Input Data file Format\" \"" + radio + "\" on\n";
        s += "press \"Input Data file Format\" OK\n";
        s += "browse \"" + par + "\"\n";
        if (infmt == 2 || infmt == 6) s += "command 672\n";  // the step-size dialog: 0.02
        return s;
    }
    static void read_parameter_file(const std::string& par) {
        ASSERT_EQ(open_unit(LU_PARAM, par, OpenMode::Read), 0);
        READ_PARAMETERS();
    }
    bool saw(const std::string& text) const {
        const auto& ev = script_backend()->events();
        return std::any_of(ev.begin(), ev.end(), [&](const ScriptEvent& e) { return e.text == text; });
    }
};

TEST_P(ExamplesRun, OpensConvertsWithCommand319AndReopensAsStandard) {
    const Example ex = GetParam();
    const fs::path src = fs::path(TARNIVOX_SOURCE_DIR) / "examples" / ex.dir;
    fs::copy(src, dir_ / "in");
    const std::string data = (dir_ / "in" / ex.file).string();
    const std::string par = (dir_ / "in" / (std::string(ex.dir) + ".par")).string();
    const std::string copy = (dir_ / "copy.rfl").string();

    EXPECT_EQ(run(open_script(data, par, ex.radio, ex.infmt) + "command 319\nfile \"" + copy +
                  "\"\ncommand 316\nanswer yes\n"),
              "");
    EXPECT_EQ(G.INFMT, ex.infmt);
    EXPECT_TRUE(saw("Data File read in successfully"));
    EXPECT_TRUE(saw("Standard data file written successfully"));
    ASSERT_TRUE(fs::exists(copy));

    EXPECT_EQ(run(open_script(copy, par, "Standard", 1) + "command 316\nanswer yes\n"), "");
    EXPECT_TRUE(saw("Data File read in successfully"));
    EXPECT_EQ(G.INFMT, 1);

    // The copy holds the data set the instrument file gives.
    fresh_run(ex.infmt == 2 || ex.infmt == 6 ? "command 672\n" : "");
    read_parameter_file(par);
    import_file(data, ex.infmt);
    const std::vector<Scan> direct = walk_scan_file();
    fresh_run();
    read_parameter_file(par);
    import_file(copy, 1);
    const std::vector<Scan> again = walk_scan_file();
    ASSERT_EQ(direct.size(), again.size());
    ASSERT_GT(direct.size(), 20u);
    for (std::size_t i = 0; i < direct.size(); ++i) {
        EXPECT_EQ(direct[i].nref, again[i].nref);
        EXPECT_EQ(direct[i].hkl, again[i].hkl);
        EXPECT_EQ(direct[i].angles, again[i].angles);
        EXPECT_EQ(direct[i].counts, again[i].counts);
        EXPECT_EQ(direct[i].scale, again[i].scale);
        EXPECT_EQ(direct[i].rflag, again[i].rflag);
        EXPECT_EQ(direct[i].isctype, again[i].isctype);
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, ExamplesRun, ::testing::ValuesIn(kExamples),
                         [](const ::testing::TestParamInfo<Example>& info) {
                             return std::string(info.param.dir);
                         });

}  // namespace
}  // namespace tarnivox::importtest
