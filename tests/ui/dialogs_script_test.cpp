// The dialog routines on the headless backend, driven by a script.
#include <gtest/gtest.h>

#include <string>

#include "support/scratch.h"
#include "ui/command_numbers.h"
#include "ui/dialog_cases.h"
#include "toolkit/script/script_backend.h"
#include "ui/window_state.h"

namespace tarnivox::uitest {
namespace {

class ScriptDriver : public Driver {
public:
    void start(const std::vector<Step>& steps) override {
        const std::string script = script_of(steps);
        test::open_headless_window(script);
    }
    bool finished() const override {
        // A used-up script answers the next wait with the close command.
        return sb().action() == GM_CLOSE;
    }
    std::vector<Box> boxes() const override {
        std::vector<Box> out;
        for (const ScriptEvent& e : sb().events())
            if (e.kind == ScriptEvent::Message || e.kind == ScriptEvent::Error)
                out.push_back({e.title, e.text});
        return out;
    }
    bool shown(int h) const override {
        const ScriptWidget& w = sb().widget(h);
        if (w.kind == ScriptWidget::Dialog || w.kind == ScriptWidget::Window) return w.shown;
        return w.status != -1;
    }
    int active_window() const override { return sb().active_window(); }

private:
    static ScriptBackend& sb() { return *script_backend(); }
};

class DialogsOnScript : public ::testing::Test {
protected:
    ScriptDriver driver;
};

TEST_F(DialogsOnScript, InputFormatPreselectedByExtension) { input_format_preselected_by_extension(driver); }
TEST_F(DialogsOnScript, StepSizeRefusesBelowAThousandth) { step_size_refuses_below_a_thousandth(driver); }
TEST_F(DialogsOnScript, ShelxWithoutUbAlwaysWarns) { shelx_without_ub_always_warns(driver); }
TEST_F(DialogsOnScript, RefinementBoxReturnsFlagsAndSystem) {
    refinement_box_returns_flags_and_system(driver);
}
TEST_F(DialogsOnScript, BackgroundModeTakesEffectEvenWhenQuit) {
    background_mode_takes_effect_even_when_quit(driver);
}
TEST_F(DialogsOnScript, DiffractometerConstantsFollowTheMonochromator) {
    diffractometer_constants_follow_the_monochromator(driver);
}
TEST_F(DialogsOnScript, ResultsBoxShowsCellAndCount) { results_box_shows_cell_and_count(driver); }
TEST_F(DialogsOnScript, MissingParameterFileBoxExit) { missing_parameter_file_box_exit(driver); }
TEST_F(DialogsOnScript, WaitBoxShowsAndHides) { wait_box_shows_and_hides(driver); }
TEST_F(DialogsOnScript, WindowIsIdleAfterSetup) { window_is_idle_after_setup(driver); }

// The menus, in their order and with the commands the main loop runs.
TEST_F(DialogsOnScript, MenusCarryTheirCommandsInOrder) {
    reset_store();
    driver.start({});
    const ScriptBackend& sb = *script_backend();
    const char* const titles[] = {"File", "Integrate", "Utilities", "Parameters"};
    for (int m = 1; m <= 4; ++m) EXPECT_EQ(sb.widget(wid(MENU_TITLE(m))).label, titles[m - 1]);
    const int commands[] = {CMD_OPEN_DATA,       CMD_OPEN_PARAMETERS, CMD_OPEN_OUTPUT, CMD_OPEN_LOG,    0,
                            CMD_CREATE_EXP,      CMD_CREATE_CIF,      CMD_WRITE_STD,   0,               CMD_EXIT,
                            CMD_MANUAL_FIT,      CMD_AUTO_FIT,        CMD_PREPROCESS,  CMD_ZREF,        CMD_CALC_UB,
                            CMD_CALC_BACKGROUND, CMD_CALC_FWHM,       CMD_DELTA_D,     CMD_PKVALS,      CMD_DIFFRACTOMETER,
                            CMD_BACKGROUNDS,     CMD_OUTPUT_FORMAT};
    const char* const labels[] = {"Open data file",
                                  "Open parameter file",
                                  "Open output file",
                                  "Open log file",
                                  "",
                                  "Create Exp file",
                                  "Create Cif",
                                  "Write Std datafile",
                                  "",
                                  "Exit",
                                  "Manual profile fit",
                                  "Auto profile fit",
                                  "Preprocess",
                                  "Zref",
                                  "Calc UB",
                                  "Calc Background",
                                  "Calc FWHM",
                                  "Delta-d/d",
                                  "Pkvals",
                                  "Diffractometer",
                                  "Backgrounds",
                                  "Output format"};
    // MENU_ENTRY counts the File menu's two separators too.
    for (int n = 1; n <= 22; ++n) {
        const ScriptWidget& w = sb.widget(wid(MENU_ENTRY(n)));
        EXPECT_EQ(w.label, labels[n - 1]) << "entry " << n;
        EXPECT_EQ(w.command, commands[n - 1]) << "entry " << n;
        EXPECT_EQ(w.kind == ScriptWidget::Separator, commands[n - 1] == 0) << "entry " << n;
    }
    EXPECT_EQ(sb.widget(wid(MENU_ENTRY(22))).status, 0);  // "Output format" greyed
    // "Report", added last to "Utilities", keeps the program's entries where they were.
    EXPECT_EQ(sb.widget(wid(MENU_REPORT)).label, "Report");
    EXPECT_EQ(sb.widget(wid(MENU_REPORT)).command, CMD_REPORT);
    EXPECT_EQ(sb.widget(wid(MENU_REPORT)).parent, wid(MENU_TITLE(3)));
    EXPECT_EQ(sb.widget(wid(MAIN_INFILE)).max_chars, 30);
    EXPECT_EQ(sb.widget(WS.MAINWIN).label, "TARNIVOX V3.53");
}

TEST_F(DialogsOnScript, ShowTitleFillsTheTitleField) {
    reset_store();
    driver.start({});
    G.TITLE = "Garnet at 100 K, omega scans";
    SHOW_TITLE();
    EXPECT_EQ(GMENQTEXTSETTING(wid(MAIN_TITLE)), "Garnet at 100 K, omega scans");
}

}  // namespace
}  // namespace tarnivox::uitest
