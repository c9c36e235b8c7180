// The dialog routines on the real window (offscreen platform), played by
// clicks, typing and box answers.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "qt_driver.h"
#include "tarnivox_main.h"
#include "ui/command_numbers.h"
#include "ui/window_state.h"

namespace tarnivox::uitest {
namespace {

class DialogsOnQt : public ::testing::Test {
protected:
    void TearDown() override { set_toolkit_backend(nullptr); }
    QtDriver driver;
};

TEST_F(DialogsOnQt, InputFormatPreselectedByExtension) { input_format_preselected_by_extension(driver); }
TEST_F(DialogsOnQt, StepSizeRefusesBelowAThousandth) { step_size_refuses_below_a_thousandth(driver); }
TEST_F(DialogsOnQt, ShelxWithoutUbAlwaysWarns) { shelx_without_ub_always_warns(driver); }
TEST_F(DialogsOnQt, RefinementBoxReturnsFlagsAndSystem) { refinement_box_returns_flags_and_system(driver); }
TEST_F(DialogsOnQt, BackgroundModeTakesEffectEvenWhenQuit) {
    background_mode_takes_effect_even_when_quit(driver);
}
TEST_F(DialogsOnQt, DiffractometerConstantsFollowTheMonochromator) {
    diffractometer_constants_follow_the_monochromator(driver);
}
TEST_F(DialogsOnQt, ResultsBoxShowsCellAndCount) { results_box_shows_cell_and_count(driver); }
TEST_F(DialogsOnQt, MissingParameterFileBoxExit) { missing_parameter_file_box_exit(driver); }
TEST_F(DialogsOnQt, WaitBoxShowsAndHides) { wait_box_shows_and_hides(driver); }
TEST_F(DialogsOnQt, WindowIsIdleAfterSetup) { window_is_idle_after_setup(driver); }

// Every menu entry, chosen from its menu, reaches the command loop with its
// number; "Output format" only once an output file made it selectable.
TEST_F(DialogsOnQt, EveryMenuEntryDeliversItsCommand) {
    reset_store();
    driver.start({});
    const int expected[] = {CMD_OPEN_DATA,       CMD_OPEN_PARAMETERS, CMD_OPEN_OUTPUT, CMD_OPEN_LOG,    0,
                            CMD_CREATE_EXP,      CMD_CREATE_CIF,      CMD_WRITE_STD,   0,               CMD_EXIT,
                            CMD_MANUAL_FIT,      CMD_AUTO_FIT,        CMD_PREPROCESS,  CMD_ZREF,        CMD_CALC_UB,
                            CMD_CALC_BACKGROUND, CMD_CALC_FWHM,       CMD_DELTA_D,     CMD_PKVALS,      CMD_DIFFRACTOMETER,
                            CMD_BACKGROUNDS,     CMD_OUTPUT_FORMAT};
    QtBackend& b = qt();
    const auto& output_format = b.item(wid(MENU_ENTRY(22)));
    EXPECT_FALSE(output_format.action->isEnabled());
    GMSETWIDGETSTATUS(wid(MENU_ENTRY(22)), 1);
    for (int n = 1; n <= 22; ++n) {
        if (expected[n - 1] == 0) {
            EXPECT_TRUE(b.item(wid(MENU_ENTRY(n))).action->isSeparator());
            continue;
        }
        b.item(wid(MENU_ENTRY(n))).action->trigger();
        EXPECT_EQ(GMACTION(), expected[n - 1]) << "entry " << n;
    }
    // The menu bar shows the four titles in order.
    auto* win = qobject_cast<QMainWindow*>(b.main_window());
    ASSERT_NE(win, nullptr);
    QStringList titles;
    for (QAction* a : win->menuBar()->actions()) titles << a->text();
    // Each title and entry has its own access key (Alt+F opens "File").
    EXPECT_EQ(titles, (QStringList{"&File", "&Integrate", "&Utilities", "&Parameters"}));
    EXPECT_EQ(win->windowTitle(), "TARNIVOX V3.53");
    for (int m = 1; m <= 4; ++m) {
        QStringList keys;
        for (QAction* a : win->menuBar()->actions()[m - 1]->menu()->actions()) {
            if (a->isSeparator()) continue;
            const qsizetype amp = a->text().indexOf('&');
            ASSERT_GE(amp, 0) << a->text().toStdString();
            EXPECT_EQ(QString(a->text()).remove('&'), a->text().left(amp) + a->text().mid(amp + 1));
            keys << a->text().mid(amp + 1, 1).toLower();
        }
        EXPECT_EQ(keys.removeDuplicates(), 0) << keys.join(",").toStdString();
    }
    // The desktop's keys: open, quit; Start and Stop of an automatic run.
    EXPECT_EQ(b.item(wid(MENU_ENTRY(1))).action->shortcut(), QKeySequence(QKeySequence::Open));
    EXPECT_EQ(b.item(wid(MENU_ENTRY(10))).action->shortcut(), QKeySequence(QKeySequence::Quit));
    EXPECT_EQ(qobject_cast<QAbstractButton*>(b.item(wid(PANEL(18))).widget.data())->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_R));
    EXPECT_EQ(qobject_cast<QAbstractButton*>(b.item(wid(PANEL(19))).widget.data())->shortcut(),
              QKeySequence(Qt::Key_Escape));
}

// Enter confirms a box (Go, OK, Save + Exit), Escape leaves it (Quit); a
// focused button takes Enter for itself.
TEST_F(DialogsOnQt, EnterConfirmsAndEscapeLeavesABox) {
    reset_store();
    driver.start({});
    const auto key = [](QWidget* w, int k) {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &press);
    };
    const struct {
        WidSlot box;
        int enter, escape;
    } boxes[] = {{DLG_PREPROCESS, 53, 54}, {DLG_PKVALS, 541, 531}, {DLG_OUTFORMAT, 593, 592}};
    for (const auto& c : boxes) {
        GMDRAWWINDOW(wid(c.box));
        QWidget* d = qt().item(wid(c.box)).widget.data();
        key(d, Qt::Key_Return);
        EXPECT_EQ(GMACTION(), c.enter);
        key(d, Qt::Key_Escape);
        EXPECT_EQ(GMACTION(), c.escape);
        GMREMOVEWINDOW(wid(c.box));
    }
    // Enter in the value entry of "Preprocessing Control" reaches the box.
    GMDRAWWINDOW(wid(DLG_PREPROCESS));
    QWidget* d = qt().item(wid(DLG_PREPROCESS)).widget.data();
    auto* quit = qobject_cast<QPushButton*>(qt().item(qt().find("Preprocessing Control", "Quit")).widget.data());
    ASSERT_NE(quit, nullptr);
    quit->setFocus();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(d, &press);
    EXPECT_EQ(GMACTION(), 54);
}

// The window's close control is "Exit": the program asks, No keeps it
// running, Yes ends the run.
TEST_F(DialogsOnQt, CloseControlAsksLikeExit) {
    reset_store();
    driver.start({answer("no"), answer("yes")});
    QWidget* win = qt().main_window();
    win->close();
    EXPECT_TRUE(win->isVisible());
    const int c = GMACTION();
    EXPECT_EQ(c, GM_CLOSE);
    EXPECT_NO_THROW(dispatch_command(c));
    win->close();
    EXPECT_THROW(dispatch_command(GMACTION()), ProgramEnd);
    ASSERT_EQ(driver.boxes().size(), 2u);
    EXPECT_EQ(driver.boxes()[0].text, "Are you sure you want to exit the program?");
    EXPECT_TRUE(driver.finished());
}

// Panel buttons and Enter in the panel's entries post their commands.
TEST_F(DialogsOnQt, PanelButtonsAndEnterPostCommands) {
    reset_store();
    driver.start({});
    for (int i = 1; i <= WS.NPANEL; ++i) GMSETWIDGETSTATUS(wid(PANEL(i)), 1);
    auto click = [](int h) { qobject_cast<QAbstractButton*>(qt().item(h).widget.data())->click(); };
    click(wid(PANEL(4)));
    EXPECT_EQ(GMACTION(), 104);
    click(wid(PANEL(20)));
    EXPECT_EQ(GMACTION(), 120);
    auto* hkl = qobject_cast<QLineEdit*>(qt().item(wid(PANEL(5))).widget.data());
    type_into(hkl, "1 2 3");
    emit hkl->returnPressed();
    EXPECT_EQ(GMACTION(), 106);
    EXPECT_EQ(GMENQTEXTSETTING(wid(PANEL(5))), "1 2 3");
    auto* seq = qobject_cast<QLineEdit*>(qt().item(wid(PANEL(7))).widget.data());
    type_into(seq, "417");
    emit seq->returnPressed();
    EXPECT_EQ(GMACTION(), 108);
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(wid(PANEL(7))), 417.0);
}

// A numeric entry given text that is no number keeps its previous value.
TEST_F(DialogsOnQt, NumericEntryKeepsValueOnNonNumber) {
    reset_store();
    driver.start({});
    const int h = wid(PRE_ISIG);
    auto* e = qobject_cast<QLineEdit*>(qt().item(h).widget.data());
    EXPECT_EQ(e->text(), "10.0");
    type_into(e, "12.5");
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(h), 12.5);
    for (const char* junk : {"abc", "", "1.2.3", "nan", "inf", "0x10", "5 6"}) {
        type_into(e, junk);
        EXPECT_DOUBLE_EQ(GMENQVALUESETTING(h), 12.5) << junk;
        EXPECT_EQ(e->text(), "12.5") << junk;
    }
}

// Each dialog exists hidden, can be shown, filled and read back.
TEST_F(DialogsOnQt, DialogsShowFillAndReadBack) {
    reset_store();
    driver.start({});
    GMDRAWWINDOW(wid(DLG_FITCTRL));
    EXPECT_TRUE(driver.shown(wid(DLG_FITCTRL)));
    GMSETVALUESETTING_REAL(wid(FC_INPUT(2)), 0.0123);
    auto* fwhm = qobject_cast<QLineEdit*>(qt().item(wid(FC_INPUT(2))).widget.data());
    EXPECT_EQ(fwhm->text(), "0.012");
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(wid(FC_INPUT(2))), 0.0123);  // as the program put it, not as shown
    fwhm->setText("0.500");  // the program's own writing is no typing
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(wid(FC_INPUT(2))), 0.0123);
    GMSETTOGGLESWITCH(wid(FC_REFINE(2)), 1);
    EXPECT_EQ(GMENQTOGGLESWITCH(wid(FC_REFINE(2))), 1);
    GMSETTEXTSETTING(wid(FC_FLAGS), "RRRDDXXX");
    EXPECT_EQ(GMENQTEXTSETTING(wid(FC_FLAGS)), "RRRDDX");  // 6 characters
    EXPECT_FALSE(driver.shown(wid(FC_DEFAULT(3))));
    EXPECT_EQ(qt().find("Fitting Controls & Results", "FWHM Input"), wid(FC_INPUT(2)));
    GMREMOVEWINDOW(wid(DLG_FITCTRL));
    EXPECT_FALSE(driver.shown(wid(DLG_FITCTRL)));
    // Radio groups are exclusive within their box.
    GMSETTOGGLESWITCH(wid(OUTFMT_RADIO(3)), 1);
    EXPECT_EQ(GMENQTOGGLESWITCH(wid(OUTFMT_RADIO(1))), 0);
    GMSETTOGGLESWITCH(wid(OUTFMT_RADIO(3)), 0);
    EXPECT_EQ(GMENQTOGGLESWITCH(wid(OUTFMT_RADIO(3))), 0);
    // The list has no selection until the user makes one.
    EXPECT_EQ(GMENQLISTSTATUS(wid(REF_SYSTEM_LIST)), 0);
    qobject_cast<QListWidget*>(qt().item(wid(REF_SYSTEM_LIST)).widget.data())->setCurrentRow(5);
    EXPECT_EQ(GMENQLISTSTATUS(wid(REF_SYSTEM_LIST)), 6);
}

// Closing a box with its close control is leaving it with "Quit".
TEST_F(DialogsOnQt, ClosingABoxIsQuit) {
    reset_store();
    driver.start({});
    driver.then([] {
        QWidget* box = qt().item(wid(DLG_OUTFORMAT)).widget.data();
        if (!box->isVisible()) return false;
        qobject_cast<QAbstractButton*>(qt().item(wid(OUTFMT_RADIO(2))).widget.data())->click();
        box->close();
        return true;
    });
    G.INTFMT = 1;
    G.UBFLAG = 1;
    RUN_INTFORMAT();
    EXPECT_EQ(G.INTFMT, 1);
    EXPECT_FALSE(driver.shown(wid(DLG_OUTFORMAT)));
}

}  // namespace
}  // namespace tarnivox::uitest
