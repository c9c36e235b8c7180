#pragma once
// Dialog routine cases that run unchanged on both toolkit backends.  A
// case is a list of user steps (what a user presses, types and answers)
// and the effect the routine must have on the store and the widgets.  Each
// backend supplies a Driver that plays the steps while the routine waits.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/store.h"
#include "ui/dialogs.h"
#include "ui/graphics.h"
#include "toolkit/toolkit.h"
#include "ui/widgets.h"
#include "ui/window_state.h"

namespace tarnivox::uitest {

struct Step {
    enum Kind { Press, Set, Toggle, Select, Answer, Command, Cancel, File, Browse, Close } kind;
    std::string dialog, label, value;
    int command = 0;
};
inline Step press(std::string d, std::string l) { return {Step::Press, std::move(d), std::move(l), {}}; }
inline Step set(std::string d, std::string l, std::string v) {
    return {Step::Set, std::move(d), std::move(l), std::move(v)};
}
inline Step toggle(std::string d, std::string l, bool on) {
    return {Step::Toggle, std::move(d), std::move(l), on ? "on" : "off"};
}
inline Step select(std::string d, std::string l, int n) {
    return {Step::Select, std::move(d), std::move(l), std::to_string(n)};
}
inline Step answer(std::string a) { return {Step::Answer, {}, {}, std::move(a)}; }
// Cancels the file dialog that is open.
inline Step cancel() { return {Step::Cancel, {}, {}, {}}; }
// A button found by its command number (for boxes whose title is shared).
inline Step command(int c) { return {Step::Command, {}, {}, {}, c}; }
// Chooses `path` in the open-file dialog, with its filter `filter` (from
// 1; 0 leaves the preselected one).
inline Step file(std::string path, int filter = 0) { return {Step::File, {}, {}, std::move(path), filter}; }
// Chooses `path` in the browse dialog.
inline Step browse(std::string path) { return {Step::Browse, {}, {}, std::move(path)}; }
// The main window's close control.
inline Step close_window() { return {Step::Close, {}, {}, {}}; }

// The script lines of the headless backend that play `steps`.
inline std::string script_of(const std::vector<Step>& steps) {
    const auto quoted = [](const std::string& s) { return "\"" + s + "\""; };
    std::string script;
    for (const Step& s : steps) {
        switch (s.kind) {
            case Step::Press: script += "press " + quoted(s.dialog) + " " + quoted(s.label); break;
            case Step::Set: script += "set " + quoted(s.dialog) + " " + quoted(s.label) + " " + quoted(s.value); break;
            case Step::Toggle: script += "toggle " + quoted(s.dialog) + " " + quoted(s.label) + " " + s.value; break;
            case Step::Select: script += "select " + quoted(s.dialog) + " " + quoted(s.label) + " " + s.value; break;
            case Step::Answer: script += "answer " + s.value; break;
            case Step::Command: script += "command " + std::to_string(s.command); break;
            case Step::Cancel: script += "cancel"; break;
            case Step::File:
                script += "file " + quoted(s.value) + (s.command > 0 ? " " + std::to_string(s.command) : "");
                break;
            case Step::Browse: script += "browse " + quoted(s.value); break;
            case Step::Close: script += "close"; break;
        }
        script += "\n";
    }
    return script;
}

struct Box {
    std::string title, text;
};

class Driver {
public:
    virtual ~Driver() = default;
    // A fresh store, a fresh backend that will play `steps`, the window built.
    virtual void start(const std::vector<Step>& steps) = 0;
    // Every step was played.
    virtual bool finished() const = 0;
    virtual std::vector<Box> boxes() const = 0;
    virtual bool shown(int h) const = 0;    // a dialog on screen / a widget not hidden
    virtual int active_window() const = 0;  // 0 when the backend cannot tell
};

inline void start(Driver& d, const std::vector<Step>& steps) {
    reset_store();
    d.start(steps);
}

// ----------------------------------------------------------------- cases

inline void input_format_preselected_by_extension(Driver& d) {
    const std::string box = "Input Data file Format";
    start(d, {press(box, "OK"), press(box, "OK"), press(box, "OK"), press(box, "OK"), press(box, "OK"),
              toggle(box, "Old Single", true), press(box, "OK")});
    G.INFILE = "/data/scan.xyz";  // no extension of its own: Xcalibur at the first run
    GETFORMAT();
    EXPECT_EQ(G.INFMT, 3);
    G.INFILE = "/data/scan.P4t";  // any case preselects Xscans
    GETFORMAT();
    EXPECT_EQ(G.INFMT, 4);
    G.INFILE = "/data/scan.abc";  // unknown: the last choice stays
    GETFORMAT();
    EXPECT_EQ(G.INFMT, 4);
    G.INFILE = "/runs/cad.dat.v2/scan.p4t";  // the first '.' decides: "DAT", Enraf CAD4
    GETFORMAT();
    EXPECT_EQ(G.INFMT, 7);
    G.INFILE = "rfl_scans";  // no '.': its first three characters, Standard
    GETFORMAT();
    EXPECT_EQ(G.INFMT, 1);
    G.INFILE = "/data/scan.abc";  // the user's own choice wins
    GETFORMAT();
    EXPECT_EQ(G.INFMT, 2);
    EXPECT_TRUE(d.finished());
    EXPECT_FALSE(d.shown(wid(DLG_FORMAT)));
}

inline void step_size_refuses_below_a_thousandth(Driver& d) {
    start(d, {command(672), answer("ok"), command(672), command(672)});
    double step = 0;
    GMSETVALUESETTING_REAL(wid(STEP_VALUE), 0.0009);
    GET_STEP_SIZE(step);
    EXPECT_DOUBLE_EQ(step, 0.001);
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(wid(STEP_VALUE)), 0.001);
    ASSERT_EQ(d.boxes().size(), 1u);
    EXPECT_EQ(d.boxes()[0].title, "Tarnivox");
    EXPECT_EQ(d.boxes()[0].text, "  Step size too small");
    GMSETVALUESETTING_REAL(wid(STEP_VALUE), 0.05);
    GET_STEP_SIZE(step);
    EXPECT_DOUBLE_EQ(step, 0.05);
    EXPECT_EQ(d.boxes().size(), 1u);
    EXPECT_TRUE(d.finished());
    EXPECT_FALSE(d.shown(wid(DLG_STEPSIZE)));
}

inline void shelx_without_ub_always_warns(Driver& d) {
    const std::string box = "Output Format";
    const std::string warning = "Warning: Refine UB to obtain direction cosines for SHELX output";
    start(d, {press(box, "Shelx hkl"), press(box, "Save + Exit"), answer("ok"), press(box, "Quit"),
              answer("ok"), press(box, "Rfine extended"), press(box, "Quit"), press(box, "Rfine extended"),
              press(box, "Save + Exit")});
    G.INTFMT = 1;
    G.UBFLAG = 0;
    RUN_INTFORMAT();
    EXPECT_EQ(G.INTFMT, 3);
    RUN_INTFORMAT();  // left with Quit, still Shelx: warned again
    ASSERT_EQ(d.boxes().size(), 2u);
    EXPECT_EQ(d.boxes()[1].title, "Tarnivox");
    EXPECT_EQ(d.boxes()[1].text, warning);
    G.UBFLAG = 1;
    RUN_INTFORMAT();  // a choice left with Quit is not taken
    EXPECT_EQ(G.INTFMT, 3);
    RUN_INTFORMAT();
    EXPECT_EQ(G.INTFMT, 2);
    EXPECT_EQ(d.boxes().size(), 2u);
    EXPECT_TRUE(d.finished());
}

inline void refinement_box_returns_flags_and_system(Driver& d) {
    const std::string box = "Unit Cell Refinement";
    start(d, {press(box, "Refine crystal offsets"), press(box, "Refine"), press(box, "Symmetry constrained"),
              select(box, "Crystal system", 4), press(box, "Refine"), press(box, "Quit")});
    int go = -1, offsets = -1, omz = -1, system = -1;
    RUN_REFINEMENT_BOX(go, offsets, omz, system);
    EXPECT_EQ(go, 1);
    EXPECT_EQ(offsets, 1);
    EXPECT_EQ(omz, 0);
    EXPECT_EQ(system, 0);  // "Symmetry constrained" off
    EXPECT_FALSE(d.shown(wid(REF_SYSTEM_LIST)));
    RUN_REFINEMENT_BOX(go, offsets, omz, system);
    EXPECT_EQ(go, 1);
    EXPECT_EQ(offsets, 1);
    EXPECT_EQ(system, 4);  // Tetragonal
    EXPECT_TRUE(d.shown(wid(REF_SYSTEM_LIST)));
    RUN_REFINEMENT_BOX(go, offsets, omz, system);
    EXPECT_EQ(go, 0);
    EXPECT_TRUE(d.finished());
    EXPECT_FALSE(d.shown(wid(DLG_REFINEMENT)));
}

inline void background_mode_takes_effect_even_when_quit(Driver& d) {
    const std::string box = "Fixed Background Options";
    start(d, {press(box, "Spline"), press(box, "Quit"), press(box, "From scan using nstep_bg ="),
              press(box, "Save + Exit")});
    G.IBACK = 0;
    RUN_BACKGROUND_INFO();
    EXPECT_EQ(G.IBACK, 1);
    EXPECT_TRUE(d.shown(wid(BG_C)));
    EXPECT_FALSE(d.shown(wid(BG_NSTEP)));
    RUN_BACKGROUND_INFO();
    EXPECT_EQ(G.IBACK, 3);
    EXPECT_FALSE(d.shown(wid(BG_C)));
    EXPECT_TRUE(d.shown(wid(BG_NSTEP)));
    EXPECT_TRUE(d.finished());
    EXPECT_FALSE(d.shown(wid(DLG_BACKGROUND)));
}

inline void diffractometer_constants_follow_the_monochromator(Driver& d) {
    const std::string box = "Diffractometer constants";
    start(d, {press(box, "OK"), press(box, "OK"), press(box, "OK")});
    G.PARITY(1) = 1;
    G.PARITY(2) = -1;
    G.PARITY(3) = 1;
    G.PARITY(4) = -1;
    G.IMONO = 0;
    G.ATTEN = 13.5;
    G.GONCON1 = 173.0;
    RUN_GENERAL_INFO();
    EXPECT_EQ(GMENQTEXTSETTING(wid(DIF_MONO_CAPTION)), "No Monochromator");
    for (WidSlot s : {DIF_MONO, DIF_DIHEDRAL_CAPTION, DIF_DIHEDRAL, DIF_DIRECTION_CAPTION})
        EXPECT_FALSE(d.shown(wid(s)));
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(wid(DIF_PARITY(2))), -1.0);
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(wid(DIF_ATTEN)), 13.5);
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(wid(DIF_RS)), 173.0);
    G.IMONO = 1;
    G.MONO2TH = 26.6;
    G.MONOANG = 90.0;
    G.MONODIR = 2;
    RUN_GENERAL_INFO();
    EXPECT_EQ(GMENQTEXTSETTING(wid(DIF_MONO_CAPTION)), "Monochromator 2Theta");
    EXPECT_EQ(GMENQTEXTSETTING(wid(DIF_DIRECTION_CAPTION)), "Anti-parallel");
    EXPECT_TRUE(d.shown(wid(DIF_MONO)));
    EXPECT_TRUE(d.shown(wid(DIF_DIRECTION_CAPTION)));
    EXPECT_NEAR(GMENQVALUESETTING(wid(DIF_MONO)), 26.6, 1e-9);
    G.MONODIR = 0;
    RUN_GENERAL_INFO();
    EXPECT_FALSE(d.shown(wid(DIF_DIRECTION_CAPTION)));
    EXPECT_TRUE(d.shown(wid(DIF_DIHEDRAL)));
    EXPECT_TRUE(d.finished());
}

// The esd fields show the esd to the decimals of its value; a value the
// crystal system fixes (esd 0) and every value of a cell fixed without
// redundancy show none, not a 0 that would read as exact, also after a
// refinement that had esds.
inline void results_box_shows_cell_and_count(Driver& d) {
    const std::string box = "Cell Refinement Results";
    start(d, {press(box, "Ok"), press(box, "Ok"), press(box, "Ok")});
    for (int n = 1; n <= 7; ++n) {
        G.CELL(n) = 10.0 * n + 0.12345;
        G.CELLESD(n) = 0.001 * n;
    }
    G.XTALOFF(2) = -0.0123;
    G.OMZERO = 0.0456;
    RUN_RESULTS_BOX(37);
    EXPECT_NEAR(GMENQVALUESETTING(wid(RES_VALUE(3))), 30.12345, 1e-9);
    EXPECT_EQ(GMENQTEXTSETTING(wid(RES_ESD(1))), "0.00100");
    EXPECT_EQ(GMENQTEXTSETTING(wid(RES_ESD(5))), "0.005");
    EXPECT_EQ(GMENQTEXTSETTING(wid(RES_ESD(7))), "0.0070");
    EXPECT_NEAR(GMENQVALUESETTING(wid(RES_OFFSET(2))), -0.0123, 1e-12);
    EXPECT_NEAR(GMENQVALUESETTING(wid(RES_OMZERO)), 0.0456, 1e-12);
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(wid(RES_NREF)), 37.0);

    G.CELLESD(4) = G.CELLESD(6) = 0.0;  // monoclinic-b: alpha and gamma exactly 90
    G.CELL(4) = G.CELL(6) = 90.0;
    RUN_RESULTS_BOX(37);
    EXPECT_EQ(GMENQTEXTSETTING(wid(RES_ESD(4))), "");
    EXPECT_EQ(GMENQTEXTSETTING(wid(RES_ESD(5))), "0.005");
    EXPECT_EQ(GMENQTEXTSETTING(wid(RES_ESD(6))), "");
    EXPECT_NEAR(GMENQVALUESETTING(wid(RES_VALUE(4))), 90.0, 1e-12);

    G.CELLESD.fill(0.0);
    G.CELLNOESD = 1;
    RUN_RESULTS_BOX(3);
    for (int n = 1; n <= 7; ++n) {
        EXPECT_EQ(GMENQTEXTSETTING(wid(RES_ESD(n))), "") << n;
        EXPECT_NEAR(GMENQVALUESETTING(wid(RES_VALUE(n))), G.CELL(n), 1e-9) << n;
    }
    EXPECT_TRUE(d.finished());
    EXPECT_FALSE(d.shown(wid(DLG_RESULTS)));
}

// "Open File" whose file choice is cancelled leaves the box up; "Exit" gives up.
inline void missing_parameter_file_box_exit(Driver& d) {
    start(d, {press("TARNIVOX", "Open File"), cancel(), press("TARNIVOX", "Exit")});
    int give_up = 0;
    NOPARFILE(give_up);
    EXPECT_EQ(give_up, 1);
    EXPECT_FALSE(d.shown(wid(DLG_NOPARFILE)));
    EXPECT_TRUE(d.finished());
}

inline void wait_box_shows_and_hides(Driver& d) {
    start(d, {});
    WAITBOX(1);
    EXPECT_TRUE(d.shown(wid(DLG_WAIT)));
    if (d.active_window()) {
        EXPECT_EQ(d.active_window(), wid(DLG_WAIT));
    }
    WAITBOX(0);
    EXPECT_FALSE(d.shown(wid(DLG_WAIT)));
    if (d.active_window()) {
        EXPECT_EQ(d.active_window(), WS.MAINWIN);
    }
}

// The window after start-up: only "Exit" of the panel, no output captions,
// "Output format" greyed, every dialog there and hidden.
inline void window_is_idle_after_setup(Driver& d) {
    start(d, {});
    EXPECT_EQ(WS.NPANEL, 20);
    EXPECT_TRUE(d.shown(wid(PANEL(1))));
    for (int i = 2; i <= 20; ++i) EXPECT_FALSE(d.shown(wid(PANEL(i)))) << "panel item " << i;
    EXPECT_FALSE(d.shown(wid(MAIN_OUTPUT_CAPTION)));
    EXPECT_FALSE(d.shown(wid(MAIN_FORMAT_CAPTION)));
    EXPECT_DOUBLE_EQ(WS.FRAMEW, 300.0);
    EXPECT_DOUBLE_EQ(WS.FRAMEH, 200.0);
    EXPECT_DOUBLE_EQ(WS.XAXISY, 20.0);
    for (int n = 1; n <= 13; ++n) {
        const int h = WS.WID(5, n);
        EXPECT_GT(h, 0) << "dialog " << n;
        EXPECT_FALSE(d.shown(h)) << "dialog " << n;
    }
    // Dialogs are created in their fixed order, after the main window.
    for (int n = 2; n <= 13; ++n) EXPECT_GT(WS.WID(5, n), WS.WID(5, n - 1));
    EXPECT_GT(WS.WID(5, 1), WS.MAINWIN);

    // A fitting run shows the panel and greys the menus; END_GRAPHICS undoes it.
    for (int i = 2; i <= 20; ++i) GMSETWIDGETSTATUS(wid(PANEL(i)), 1);
    for (int m = 1; m <= 4; ++m) GMSETWIDGETSTATUS(wid(MENU_TITLE(m)), 0);
    GMDRAWWINDOW(wid(DLG_FITCTRL));
    END_GRAPHICS();
    EXPECT_TRUE(d.shown(wid(PANEL(1))));
    for (int i = 2; i <= 20; ++i) EXPECT_FALSE(d.shown(wid(PANEL(i))));
    EXPECT_FALSE(d.shown(wid(DLG_FITCTRL)));
}

}  // namespace tarnivox::uitest
