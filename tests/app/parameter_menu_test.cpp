// A parameter file chosen from the menu once a data set is open: a bad one
// is refused with its message and the parameters read before stay in use;
// the session goes on.  (At start-up a bad file still ends the run.)

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/exitint.h"
#include "core/store.h"
#include "io/units.h"
#include "simulate.h"
#include "support/scratch.h"
#include "tarnivox_main.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;

class ParameterMenu : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::fresh_run_in_scratch_dir("tarnivox_par_menu");
        sim::Config c;
        c.format = sim::Format::Standard;
        c.nrefl = 5;
        c.npts = 24;
        c.atten = 12.5;
        sim::simulate(c, (dir_ / "data.rfl").string(), (dir_ / "inst.par").string(), "");
    }
    void TearDown() override { test::end_run_in_scratch_dir(dir_); }

    // Runs the window's command loop on the script to its end; the end's
    // message, and the file on the parameter unit as the run ended.
    std::string run(const std::string& script, std::string& parameter_file) {
        test::install_quiet_script(script, dir_.string());
        std::string message = "(no end)";
        try {
            TARNIVOX_MAIN();
        } catch (const ProgramEnd& end) {
            message = end.message;
            parameter_file = unit_is_open(LU_PARAM) ? unit_path(LU_PARAM) : "(closed)";
            EXPECT_EQ(finish_run(end), 0);
        }
        return message;
    }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return (dir_ / name).string();
    }

    fs::path dir_;
};

const std::string kStart =
    "file data.rfl\n"
    "press \"Input Data file Format\" OK\n"
    "browse inst.par\n";

TEST_F(ParameterMenu, BadFileIsRefusedAndTheParametersReadBeforeStay) {
    // The bad files change values before the fault is met: the wavelength
    // line is read before a later one fails, the attenuator is read before
    // it is found out of range.
    const std::string unreadable = write("unreadable.par", "WAVEL  2 1.5406 1.5444 0.5\n"
                                                           "ATTEN  twelve\n" +
                                                               test::kInstrumentParameters);
    const std::string illegal = write("illegal.par", test::kInstrumentParameters + "ATTEN  -3.0\n");
    const std::string other = write("other.par", test::kInstrumentParameters + "ATTEN  7.5\n");
    const std::string good = (dir_ / "inst.par").string();
    std::string in_use;
    const std::string end = run(kStart +
                                    "command 313\nbrowse unreadable.par\n"
                                    "command 313\nbrowse illegal.par\n"
                                    "command 316\nanswer yes\n",
                                in_use);
    // The session went on to the user's own exit.
    EXPECT_EQ(end, "");
    EXPECT_DOUBLE_EQ(G.WAVE1, 0.70930);
    EXPECT_DOUBLE_EQ(G.WAVE2, 0.71359);
    EXPECT_DOUBLE_EQ(G.ATTEN, 12.5);
    EXPECT_EQ(G.NREF, 1);  // the data set is still open on its first reflection
    EXPECT_EQ(in_use, good);
    const auto errors = test::script_events(ScriptEvent::Error);
    ASSERT_EQ(errors.size(), 4u);
    EXPECT_EQ(errors[0].text, "Parameter file " + unreadable +
                                  ", line 2, keyword ATTEN: expected one number: the attenuator factor");
    EXPECT_EQ(errors[1].text, "ERROR READING PARAMETER FILE\n\nunreadable.par was not taken: the instrument "
                              "parameters read before stay in use.");
    EXPECT_EQ(errors[2].text.rfind("Parameter file " + illegal + ", line 9, keyword ATTEN: ", 0), 0u)
        << errors[2].text;
    EXPECT_EQ(errors[3].text.rfind("ILLEGAL VALUE IN PARAMETER FILE: ATTEN", 0), 0u) << errors[3].text;

    // A good file chosen after a refused one is taken.
    test::end_run_in_scratch_dir(dir_);
    SetUp();
    write("unreadable.par", "ATTEN  twelve\n");
    write("other.par", test::kInstrumentParameters + "ATTEN  7.5\n");
    EXPECT_EQ(run(kStart +
                      "command 313\nbrowse unreadable.par\n"
                      "command 313\nbrowse other.par\n"
                      "command 316\nanswer yes\n",
                  in_use),
              "");
    EXPECT_DOUBLE_EQ(G.ATTEN, 7.5);
    EXPECT_EQ(in_use, other);
    // A choice cancelled keeps the file in use on its unit: the defaults
    // of the fit controls are read back from it.
    test::end_run_in_scratch_dir(dir_);
    SetUp();
    EXPECT_EQ(run(kStart + "command 313\ncancel\ncommand 316\nanswer yes\n", in_use), "");
    EXPECT_EQ(in_use, good);
}

}  // namespace
}  // namespace tarnivox
