// The routines that run the dialog boxes: each shows its box, makes it the
// window that takes input, waits for one of its own commands (ui/modal.h
// says what any other command and the close control do), reads what it
// needs and hides the box again.

#include "ui/dialogs.h"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "core/store.h"
#include "import/formats.h"
#include "io/layout.h"
#include "output/formats.h"
#include "ui/command_numbers.h"
#include "ui/files.h"
#include "ui/fit_settings.h"
#include "ui/graphics.h"
#include "ui/modal.h"
#include "toolkit/toolkit.h"
#include "ui/widgets.h"
#include "ui/window_state.h"

namespace tarnivox {
namespace {

void show_box(int box) {
    GMDRAWWINDOW(box);
    GMSETACTIVEWINDOW(box);
}

void hide_box(int box) {
    GMSETACTIVEWINDOW(WS.MAINWIN);
    GMREMOVEWINDOW(box);
}

// The three characters of the data file name that choose the preselected
// format: those after the first '.', or the first three without one.
std::string format_key(std::string_view infile) {
    const auto dot = infile.find('.');
    std::string_view key = dot == std::string_view::npos ? infile.substr(0, 3) : infile.substr(dot + 1, 3);
    std::string up(key);
    for (char& c : up)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return up;
}

}  // namespace

void GETFORMAT() {
    const std::string key = format_key(G.INFILE.str());
    for (const InputFormat& f : input_formats())
        if (!f.preselect.empty() && key == f.preselect)
            GMSETTOGGLESWITCH(wid(FMT_RADIO(f.radio_position)), 1);

    const int box = wid(DLG_FORMAT);
    show_box(box);
    wait_modal(box, {CMD_FORMAT_OK});
    for (const InputFormat& f : input_formats())
        if (GMENQTOGGLESWITCH(wid(FMT_RADIO(f.radio_position))) == 1) G.INFMT = f.infmt;
    hide_box(box);
}

void WRITE_GENERAL_INFO() {
    for (int i = 1; i <= 4; ++i) GMSETVALUESETTING_REAL(wid(DIF_PARITY(i)), static_cast<double>(G.PARITY(i)));
    const int mono_fields[] = {wid(DIF_MONO), wid(DIF_DIHEDRAL_CAPTION), wid(DIF_DIHEDRAL)};
    if (G.IMONO == 0) {
        GMSETTEXTSETTING(wid(DIF_MONO_CAPTION), "No Monochromator");
        for (int h : mono_fields) GMSETWIDGETSTATUS(h, -1);
        GMSETWIDGETSTATUS(wid(DIF_DIRECTION_CAPTION), -1);
    } else {
        GMSETTEXTSETTING(wid(DIF_MONO_CAPTION), "Monochromator 2Theta");
        for (int h : mono_fields) GMSETWIDGETSTATUS(h, 1);
        GMSETVALUESETTING_REAL(wid(DIF_MONO), G.MONO2TH);
        GMSETVALUESETTING_REAL(wid(DIF_DIHEDRAL), G.MONOANG);
        if (G.MONODIR == 0) {
            GMSETWIDGETSTATUS(wid(DIF_DIRECTION_CAPTION), -1);
        } else {
            GMSETTEXTSETTING(wid(DIF_DIRECTION_CAPTION), G.MONODIR == 1 ? "Parallel" : "Anti-parallel");
            GMSETWIDGETSTATUS(wid(DIF_DIRECTION_CAPTION), 1);
        }
    }
    GMSETVALUESETTING_REAL(wid(DIF_ATTEN), G.ATTEN);
    GMSETVALUESETTING_REAL(wid(DIF_RS), G.GONCON1);
    GMDRAWWINDOW(wid(DLG_DIFFRACT));
}

void RUN_GENERAL_INFO() {
    const int box = wid(DLG_DIFFRACT);
    GMSETWIDGETSTATUS(wid(DIF_OK), 1);
    WRITE_GENERAL_INFO();
    GMSETACTIVEWINDOW(box);
    wait_modal(box, {CMD_DIFFRACTOMETER_OK});
    hide_box(box);
}

namespace {
// The mode's radio button, and the step count in the place of c only when
// the background is taken from the scan.
void show_background_mode() {
    if (G.IBACK >= 0 && G.IBACK <= 3) GMSETTOGGLESWITCH(wid(BG_RADIO(G.IBACK)), 1);
    GMSETWIDGETSTATUS(wid(BG_C), G.IBACK == 3 ? -1 : 1);
    GMSETWIDGETSTATUS(wid(BG_NSTEP), G.IBACK == 3 ? 1 : -1);
}
}  // namespace

void RUN_BACKGROUND_INFO() {
    const int box = wid(DLG_BACKGROUND);
    GMSETWIDGETSTATUS(wid(BG_QUIT), 1);
    GMSETWIDGETSTATUS(wid(BG_SAVE), 1);
    show_background_mode();
    WRITE_BGVALS();
    show_box(box);
    for (;;) {
        const int c = wait_modal(box, {CMD_BG_MODE, CMD_BG_MODE + 1, CMD_BG_MODE + 2, CMD_BG_MODE + 3, CMD_BG_QUIT, CMD_BG_SAVE}, CMD_BG_QUIT);
        if (c >= CMD_BG_MODE && c <= CMD_BG_MODE + 3) {
            // The mode takes effect at once, even if the box is then quit.
            G.IBACK = c - CMD_BG_MODE;
            show_background_mode();
            WRITE_BGVALS();
            continue;
        }
        if (c == CMD_BG_SAVE) READ_BGVALS();
        break;
    }
    hide_box(box);
}

void RUN_INTFORMAT() {
    const int box = wid(DLG_OUTFORMAT);
    GMSETWIDGETSTATUS(wid(OUTFMT_QUIT), 1);
    GMSETWIDGETSTATUS(wid(OUTFMT_SAVE), 1);
    if (output_format(G.INTFMT) != nullptr) GMSETTOGGLESWITCH(wid(OUTFMT_RADIO(G.INTFMT)), 1);
    show_box(box);
    if (wait_modal(box, {CMD_OUTFMT_QUIT, CMD_OUTFMT_SAVE}, CMD_OUTFMT_QUIT) == CMD_OUTFMT_SAVE)
        for (const OutputFormat& f : output_formats())
            if (GMENQTOGGLESWITCH(wid(OUTFMT_RADIO(f.intfmt))) == 1) G.INTFMT = f.intfmt;
    hide_box(box);
    // SHELX files carry direction cosines, which need the orientation matrix.
    if (G.INTFMT == INTFMT_SHELX && G.UBFLAG == 0)
        GMDISPLAYMESSAGEBOX("Tarnivox", "Warning: Refine UB to obtain direction cosines for SHELX output",
                            GM_ICON_NOTICE,
                            GM_BUTTONS_OK);
}

void RUN_REFINEMENT_BOX(int& go, int& offsets, int& omega_zero, int& crystal_system) {
    const int box = wid(DLG_REFINEMENT);
    go = offsets = omega_zero = crystal_system = 0;
    GMSETWIDGETSTATUS(wid(REF_QUIT), 1);
    GMSETWIDGETSTATUS(wid(REF_REFINE), 1);
    // The crystal system only matters when the cell is constrained by it.
    auto show_list = [] {
        GMSETWIDGETSTATUS(wid(REF_SYSTEM_LIST), GMENQTOGGLESWITCH(wid(REF_SYMMETRY)) == 1 ? 1 : -1);
    };
    show_list();
    show_box(box);
    for (;;) {
        const int c = wait_modal(box, {CMD_REF_SYMMETRY, CMD_REF_QUIT, CMD_REF_REFINE}, CMD_REF_QUIT);
        if (c == CMD_REF_QUIT) {
            hide_box(box);
            return;
        }
        if (c == CMD_REF_SYMMETRY) {
            show_list();
            continue;
        }
        break;
    }
    const bool symmetry = GMENQTOGGLESWITCH(wid(REF_SYMMETRY)) == 1;
    offsets = GMENQTOGGLESWITCH(wid(REF_OFFSETS)) == 1 ? 1 : 0;
    omega_zero = GMENQTOGGLESWITCH(wid(REF_OMZERO)) == 1 ? 1 : 0;
    if (symmetry) crystal_system = GMENQLISTSTATUS(wid(REF_SYSTEM_LIST));
    go = 1;
    hide_box(box);
}

void RUN_RESULTS_BOX(int nreflections) {
    const int box = wid(DLG_RESULTS);
    for (int n = 1; n <= 7; ++n) {
        GMSETVALUESETTING_REAL(wid(RES_VALUE(n)), G.CELL(n));
        // No esd for a cell the reflections fix without redundancy, nor
        // for a value the crystal system fixes (held as esd 0): an empty
        // field, never a 0 that reads as exact.
        const bool none = G.CELLNOESD == 1 || !(G.CELLESD(n) > 0.0);
        const std::string esd = format_fixed_whole(G.CELLESD(n), 10, RES_DECIMALS(n));
        GMSETTEXTSETTING(wid(RES_ESD(n)), none ? "" : esd.substr(std::min(esd.find_first_not_of(' '), esd.size())));
    }
    for (int i = 1; i <= 3; ++i) GMSETVALUESETTING_REAL(wid(RES_OFFSET(i)), G.XTALOFF(i));
    GMSETVALUESETTING_REAL(wid(RES_OMZERO), G.OMZERO);
    GMSETVALUESETTING_REAL(wid(RES_NREF), static_cast<double>(nreflections));
    show_box(box);
    wait_modal(box, {CMD_RESULTS_OK});
    hide_box(box);
}

void WAITBOX(int show) {
    if (show == 1)
        show_box(wid(DLG_WAIT));
    else
        hide_box(wid(DLG_WAIT));
}

void GET_STEP_SIZE(double& step) {
    // Omega steps below a thousandth of a degree are no real scan.
    constexpr double kSmallest = 0.001;
    const int box = wid(DLG_STEPSIZE);
    show_box(box);
    for (;;) {
        wait_modal(box, {CMD_STEP_OK});
        step = GMENQVALUESETTING(wid(STEP_VALUE));
        if (step >= kSmallest) break;
        GMDISPLAYERRORBOX("Tarnivox", "  Step size too small");
        step = kSmallest;
        GMSETVALUESETTING_REAL(wid(STEP_VALUE), kSmallest);
    }
    hide_box(box);
}

void NOPARFILE(int& give_up) {
    const int box = wid(DLG_NOPARFILE);
    show_box(box);
    for (;;) {
        if (wait_modal(box, {CMD_NOPAR_OPEN, CMD_NOPAR_EXIT}, CMD_NOPAR_EXIT) == CMD_NOPAR_EXIT) {
            give_up = 1;
            break;
        }
        int status = 1;
        OPEN_PAR(status);
        if (status == 0) {
            give_up = 0;
            break;
        }
        GMSETACTIVEWINDOW(box);
    }
    hide_box(box);
}

}  // namespace tarnivox
