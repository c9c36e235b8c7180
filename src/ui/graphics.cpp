// The main window, its menus and every dialog box, built once at start-up.
// Positions are cells of the 32 x 24 grid, (column, row) with row 0 at the
// bottom of the window or box.

#include "ui/graphics.h"

#include <array>
#include <string>
#include <string_view>

#include "core/store.h"
#include "core/version.h"
#include "import/formats.h"
#include "import/step_width.h"
#include "output/formats.h"
#include "ui/command_numbers.h"
#include "ui/dialogs.h"
#include "ui/message_boxes.h"
#include "toolkit/toolkit.h"
#include "ui/widgets.h"
#include "ui/window_state.h"

namespace tarnivox {
namespace {

int caption(int parent, int x, int y, int w, std::string_view text) {
    // No length limit: a caption may be replaced by a longer text.
    return GMCREATETEXTENTRY(parent, x, y, w, 1, text, 0, 0, EntryKind::Caption);
}

int entry(int parent, int x, int y, int w, double value, int width, int decimals, int command,
          std::string_view label) {
    return GMCREATEVALUEENTRY_REAL(parent, x, y, w, 1, value, width, decimals, command, label);
}

int dialog(int w, int h, std::string_view title) {
    return GMCREATECOMPLEXDIALOGUEBOX(WS.MAINWIN, 6, 6, w, h, title);
}

void create_fitting_panel() {
    const int win = WS.MAINWIN;
    wid(PANEL(1)) = GMCREATEPUSHBUTTON(win, 16, 0, 2, 1, "Exit", CMD_PANEL_EXIT);
    wid(PANEL(2)) = GMCREATEPUSHBUTTON(win, 5, 2, 3, 1, "Previous", CMD_PREVIOUS);
    wid(PANEL(3)) = GMCREATEPUSHBUTTON(win, 13, 2, 3, 1, "Next", CMD_NEXT);
    wid(PANEL(4)) = GMCREATEPUSHBUTTON(win, 9, 2, 3, 1, "Refit", CMD_REFIT);
    wid(PANEL(5)) = GMCREATETEXTENTRY(win, 5, 1, 3, 1, "", 20, CMD_GO_HKL, EntryKind::Editable, "HKL");
    wid(PANEL(6)) = GMCREATEPUSHBUTTON(win, 8, 1, 1, 1, "Go", CMD_GO_HKL);
    GMSETFONTATTRIBS(wid(PANEL(6)), 10);
    wid(PANEL(7)) = entry(win, 13, 1, 2, 0.0, 5, 0, CMD_GO_ISEQ, "ISEQ");
    wid(PANEL(8)) = GMCREATEPUSHBUTTON(win, 15, 1, 1, 1, "Go", CMD_GO_ISEQ);
    GMSETFONTATTRIBS(wid(PANEL(8)), 10);
    wid(PANEL(9)) = caption(win, 3, 1, 2, "HKL = ");
    wid(PANEL(10)) = caption(win, 11, 1, 2, "ISEQ = ");
    wid(PANEL(11)) = GMCREATEPUSHBUTTON(win, 16, 2, 3, 1, "Accept", CMD_ACCEPT);
    wid(PANEL(12)) = GMCREATEPUSHBUTTON(win, 16, 1, 3, 1, "Reject", CMD_REJECT);
    static const char* const angles[] = {"2theta", "omega", "chi", "phi"};
    for (int i = 0; i < 4; ++i) wid(PANEL(13 + i)) = entry(win, 6 + 2 * i, 0, 2, 0.0, 7, 2, 0, angles[i]);
    wid(PANEL(17)) = caption(win, 3, 0, 3, "ANGLES:");
    wid(PANEL(18)) = GMCREATEPUSHBUTTON(win, 16, 2, 2, 1, "Start", CMD_START);
    wid(PANEL(19)) = GMCREATEPUSHBUTTON(win, 16, 1, 2, 1, "Stop", CMD_STOP);
    wid(PANEL(20)) = GMCREATEPUSHBUTTON(win, 14, 0, 2, 1, "Export", CMD_EXPORT);
    WS.NPANEL = 20;
    for (int i = 2; i <= WS.NPANEL; ++i) GMSETWIDGETSTATUS(wid(PANEL(i)), -1);
}

void create_file_captions() {
    const int win = WS.MAINWIN;
    wid(MAIN_DATA_CAPTION) = caption(win, 1, 17, 3, "Data from");
    wid(MAIN_INFILE) = GMCREATETEXTENTRY(win, 4, 17, 6, 1, "", 30, 0, EntryKind::Display, "Data file");
    // The title stops short of the "Format:" caption that shares its row.
    wid(MAIN_TITLE) = GMCREATETEXTENTRY(win, 2, 16, 9, 1, "", 60, 0, EntryKind::Display, "Title");
    wid(MAIN_OUTPUT_CAPTION) = caption(win, 11, 17, 2, "Output:");
    wid(MAIN_OUTFILE) = GMCREATETEXTENTRY(win, 13, 17, 6, 1, "", 255, 0, EntryKind::Display, "Output file");
    wid(MAIN_FORMAT_CAPTION) = caption(win, 11, 16, 2, "Format:");
    wid(MAIN_FORMAT) = GMCREATETEXTENTRY(win, 13, 16, 6, 1, "", 5, 0, EntryKind::Display, "Output format");
    GMSETWIDGETSTATUS(wid(MAIN_OUTPUT_CAPTION), -1);
    GMSETWIDGETSTATUS(wid(MAIN_FORMAT_CAPTION), -1);
}

struct MenuItem {
    const char* label;  // nullptr: a separator
    int command;
};

void create_menus() {
    static const MenuItem file[] = {{"Open data file", CMD_OPEN_DATA},
                                    {"Open parameter file", CMD_OPEN_PARAMETERS},
                                    {"Open output file", CMD_OPEN_OUTPUT},
                                    {"Open log file", CMD_OPEN_LOG},
                                    {nullptr, 0},
                                    {"Create Exp file", CMD_CREATE_EXP},
                                    {"Create Cif", CMD_CREATE_CIF},
                                    {"Write Std datafile", CMD_WRITE_STD},
                                    {nullptr, 0},
                                    {"Exit", CMD_EXIT}};
    static const MenuItem integrate[] = {{"Manual profile fit", CMD_MANUAL_FIT}, {"Auto profile fit", CMD_AUTO_FIT}};
    // "Zref" sits with the preprocessing although it came last.
    static const MenuItem utilities[] = {{"Preprocess", CMD_PREPROCESS},      {"Zref", CMD_ZREF},      {"Calc UB", CMD_CALC_UB},
                                         {"Calc Background", CMD_CALC_BACKGROUND}, {"Calc FWHM", CMD_CALC_FWHM}, {"Delta-d/d", CMD_DELTA_D},
                                         {"Report", CMD_REPORT}};
    static const MenuItem parameters[] = {
        {"Pkvals", CMD_PKVALS}, {"Diffractometer", CMD_DIFFRACTOMETER}, {"Backgrounds", CMD_BACKGROUNDS}, {"Output format", CMD_OUTPUT_FORMAT}};
    struct Menu {
        const char* title;
        const MenuItem* items;
        int n;
    };
    const Menu menus[] = {{"File", file, 10},
                          {"Integrate", integrate, 2},
                          {"Utilities", utilities, 7},
                          {"Parameters", parameters, 4}};
    wid(MAIN_MENUBAR) = GMCREATEMENUBAR(WS.MAINWIN);
    int entry_no = 0;
    for (int m = 0; m < 4; ++m) {
        const int menu = GMCREATEPULLDOWNMENU(wid(MAIN_MENUBAR), menus[m].title);
        wid(MENU_TITLE(m + 1)) = menu;
        for (int i = 0; i < menus[m].n; ++i) {
            const MenuItem& it = menus[m].items[i];
            const WidSlot slot = it.command == CMD_REPORT ? MENU_REPORT : MENU_ENTRY(++entry_no);
            wid(slot) = it.label ? GMCREATEMENUENTRY(menu, it.label, it.command) : GMCREATEMENUSEPARATOR(menu);
            // No output file is open yet, so there is no format to choose.
            if (it.command == CMD_OUTPUT_FORMAT) GMSETWIDGETSTATUS(wid(slot), 0);
        }
    }
}

void create_format_dialog() {
    const int d = wid(DLG_FORMAT) = dialog(9, 9, "Input Data file Format");
    // The formats from the top of the box down, the first one chosen.
    const auto formats = input_formats();
    for (int i = 1; i <= static_cast<int>(formats.size()); ++i)
        for (const InputFormat& f : formats)
            if (f.radio_position == i)
                wid(FMT_RADIO(i)) = GMCREATERADIOBOX(d, 1, 9 - i, 7, 1, f.radio, i == 1 ? 1 : 0, 0, 1);
    wid(FMT_OK) = GMCREATEPUSHBUTTON(d, 3, 0, 3, 1, "OK", CMD_FORMAT_OK);
}

void create_fit_controls_dialog() {
    const int d = wid(DLG_FITCTRL) = dialog(21, 11, "Fitting Controls & Results");
    const int top = 10;
    caption(d, 0, top, 3, "Parameter");
    caption(d, 3, top, 3, "Input");
    caption(d, 6, top, 1, "R");
    caption(d, 7, top, 1, "D");
    caption(d, 8, top, 3, "Refined");
    caption(d, 11, top, 3, "Esd");
    caption(d, 14, top, 7, "Limits");
    struct Row {
        const char* name;
        int k;
    };
    static const Row rows[] = {{"Intensity", 3}, {"FWHM", 2},   {"Position", 4}, {"Background", 1},
                               {"Eta", 5},       {"Iratio", 6}, {"Rwp", 7}};
    for (int i = 0; i < 7; ++i) {
        const int y = top - 1 - i;
        const int k = rows[i].k;
        const std::string name = rows[i].name;
        // Intensities are counts, shown with one decimal; the profile
        // parameters are small numbers, with three.
        const int dec = k == 3 ? 1 : 3;
        caption(d, 0, y, 3, rows[i].name);
        if (k <= 6) {
            wid(FC_INPUT(k)) = entry(d, 3, y, 3, 0.0, 6, dec, 0, name + " Input");
            wid(FC_REFINE(k)) = GMCREATETOGGLEBUTTON(d, 6, y, 1, 1, "", 0, CMD_FC_REFINE + k);
            wid(FC_DEFAULT(k)) = GMCREATETOGGLEBUTTON(d, 7, y, 1, 1, "", 0, CMD_FC_DEFAULT + k);
            if (k == 3) GMSETWIDGETSTATUS(wid(FC_DEFAULT(k)), -1);
            wid(FC_ESD(k)) = entry(d, 11, y, 3, 0.0, 6, dec, 0, name + " Esd");
            wid(FC_LOWER(k)) = entry(d, 15, y, 3, 0.0, 6, dec, CMD_FC_LOWER + k, name + " Lower");
        }
        wid(FC_REFINED(k)) = entry(d, 8, y, 3, 0.0, 6, dec, 0, name + " Refined");
        wid(FC_LIMIT_ON(k)) = GMCREATETOGGLEBUTTON(d, 14, y, 1, 1, "", 0, CMD_FC_LIMIT_ON + k);
        wid(FC_UPPER(k)) = entry(d, 18, y, 3, 0.0, 6, dec, CMD_FC_UPPER + k, name + " Upper");
    }
    caption(d, 0, top - 8, 3, "Flags");
    wid(FC_FLAGS) = GMCREATETEXTENTRY(d, 8, top - 8, 3, 1, "", 6, 0, EntryKind::Display, "Flags");
    wid(FC_SKIPWEAK) = GMCREATETOGGLEBUTTON(d, 0, 0, 6, 1, "Skip weak reflns", 0, CMD_FC_SKIPWEAK);
    wid(FC_RESET) = GMCREATEPUSHBUTTON(d, 16, 0, 5, 1, "Reset to Defaults", CMD_FC_RESET);
}

void create_preprocess_dialog() {
    const int d = wid(DLG_PREPROCESS) = dialog(13, 5, "Preprocessing Control");
    caption(d, 0, 4, 13, "Set the profile parameters and refinement flags");
    caption(d, 0, 3, 7, "Use params when I/sigma >");
    wid(PRE_ISIG) = entry(d, 7, 3, 2, 10.0, 5, 1, 0, "I/sigma");
    caption(d, 0, 2, 10, "Then select GO button");
    wid(PRE_QUIT) = GMCREATEPUSHBUTTON(d, 2, 0, 3, 1, "Quit", CMD_PRE_QUIT);
    wid(PRE_GO) = GMCREATEPUSHBUTTON(d, 8, 0, 3, 1, "Go", CMD_PRE_GO);
}

void create_diffractometer_dialog() {
    const int d = wid(DLG_DIFFRACT) = dialog(12, 7, "Diffractometer constants");
    caption(d, 0, 6, 5, "Parities");
    for (int i = 1; i <= 4; ++i)
        wid(DIF_PARITY(i)) = entry(d, 4 + i, 6, 1, 1.0, 2, 0, 0, "Parity " + std::to_string(i));
    wid(DIF_MONO_CAPTION) = caption(d, 0, 5, 5, "Monochromator 2Theta:");
    wid(DIF_MONO) = entry(d, 5, 5, 2, 0.0, 4, 1, 0, "Monochromator 2Theta");
    wid(DIF_DIHEDRAL_CAPTION) = caption(d, 0, 4, 5, "Dihedral angle = ");
    wid(DIF_DIHEDRAL) = entry(d, 5, 4, 2, 0.0, 4, 1, 0, "Dihedral angle");
    wid(DIF_DIRECTION_CAPTION) = caption(d, 8, 4, 4, "Parallel");
    caption(d, 0, 3, 5, "Attenuator");
    wid(DIF_ATTEN) = entry(d, 5, 3, 2, 1.0, 4, 2, 0, "Attenuator");
    caption(d, 0, 2, 5, "RS");
    wid(DIF_RS) = entry(d, 5, 2, 2, 200.0, 5, 1, 0, "RS");
    wid(DIF_OK) = GMCREATEPUSHBUTTON(d, 4, 0, 3, 1, "OK", CMD_DIFFRACTOMETER_OK);
}

void create_pkvals_dialog() {
    const int d = wid(DLG_PKVALS) = dialog(17, 7, "Peak parameter default values");
    caption(d, 8, 6, 3, "a");
    caption(d, 11, 6, 3, "b");
    caption(d, 14, 6, 3, "c");
    caption(d, 0, 5, 8, "FWHM = a + b.tan(|theta|)");
    wid(PK_FWHMA) = entry(d, 8, 5, 3, 0.0, 6, 3, 0, "FWHM a");
    wid(PK_FWHMB) = entry(d, 11, 5, 3, 0.0, 6, 3, 0, "FWHM b");
    caption(d, 0, 4, 8, "Eta");
    wid(PK_ETA) = entry(d, 8, 4, 3, 0.0, 6, 3, 0, "Eta");
    caption(d, 0, 3, 8, "Iratio");
    wid(PK_RATIO) = entry(d, 8, 3, 3, 0.0, 6, 3, 0, "Iratio");
    caption(d, 0, 2, 8, "Wavelengths");
    wid(PK_WAVE1) = entry(d, 8, 2, 3, 0.0, 8, 6, 0, "Wavelength 1");
    wid(PK_WAVE2) = entry(d, 11, 2, 3, 0.0, 8, 6, 0, "Wavelength 2");
    wid(PK_QUIT) = GMCREATEPUSHBUTTON(d, 4, 0, 3, 1, "Quit", CMD_PK_QUIT);
    wid(PK_SAVE) = GMCREATEPUSHBUTTON(d, 9, 0, 4, 1, "Save + Exit", CMD_PK_SAVE);
}

void create_background_dialog() {
    const int d = wid(DLG_BACKGROUND) = dialog(14, 8, "Fixed Background Options");
    static const char* const modes[] = {"None", "Spline", "Exp: BG = a exp(-b.2th) + c",
                                        "From scan using nstep_bg ="};
    for (int m = 0; m < 4; ++m)
        wid(BG_RADIO(m)) = GMCREATERADIOBOX(d, 1, 7 - m, 10, 1, modes[m], m == 0 ? 1 : 0, CMD_BG_MODE + m, 1);
    caption(d, 0, 2, 4, "Parameters:");
    wid(BG_A) = entry(d, 4, 2, 3, 0.0, 6, 3, 0, "Background a");
    wid(BG_B) = entry(d, 7, 2, 3, 0.0, 6, 3, 0, "Background b");
    wid(BG_C) = entry(d, 10, 2, 3, 0.0, 6, 3, 0, "Background c");
    // The step count shares the place of c; the mode decides which shows.
    wid(BG_NSTEP) = entry(d, 10, 2, 3, 0.0, 2, 0, 0, "nstep_bg");
    GMSETWIDGETSTATUS(wid(BG_NSTEP), -1);
    wid(BG_QUIT) = GMCREATEPUSHBUTTON(d, 3, 0, 3, 1, "Quit", CMD_BG_QUIT);
    wid(BG_SAVE) = GMCREATEPUSHBUTTON(d, 8, 0, 4, 1, "Save + Exit", CMD_BG_SAVE);
}

void create_fwhm_dialog() {
    const int d = wid(DLG_FWHM) = dialog(13, 4, "FWHM values from dataset");
    caption(d, 0, 3, 2, "FWHM=");
    wid(FW_A) = entry(d, 2, 3, 3, 0.0, 6, 3, 0, "FWHM a");
    caption(d, 5, 3, 1, "+");
    wid(FW_B) = entry(d, 6, 3, 3, 0.0, 6, 3, 0, "FWHM b");
    caption(d, 9, 3, 4, "tan(theta)");
    caption(d, 0, 2, 2, "ESDs:");
    wid(FW_ESDA) = entry(d, 2, 2, 3, 0.0, 6, 3, 0, "ESD a");
    wid(FW_ESDB) = entry(d, 6, 2, 3, 0.0, 6, 3, 0, "ESD b");
    wid(FW_QUIT) = GMCREATEPUSHBUTTON(d, 2, 0, 3, 1, "Quit", CMD_FW_QUIT);
    wid(FW_SAVE) = GMCREATEPUSHBUTTON(d, 7, 0, 4, 1, "Save values", CMD_FW_SAVE);
}

void create_output_format_dialog() {
    const int d = wid(DLG_OUTFORMAT) = dialog(9, 5, "Output Format");
    for (const OutputFormat& f : output_formats()) {
        const int i = f.intfmt - 1;
        wid(OUTFMT_RADIO(f.intfmt)) =
            GMCREATERADIOBOX(d, 1, 4 - i, 7, 1, f.radio, i == 0 ? 1 : 0, CMD_OUTFMT_RADIO + i, 1);
    }
    wid(OUTFMT_QUIT) = GMCREATEPUSHBUTTON(d, 0, 0, 4, 1, "Quit", CMD_OUTFMT_QUIT);
    wid(OUTFMT_SAVE) = GMCREATEPUSHBUTTON(d, 5, 0, 4, 1, "Save + Exit", CMD_OUTFMT_SAVE);
}

void create_refinement_dialog() {
    const int d = wid(DLG_REFINEMENT) = dialog(14, 7, "Unit Cell Refinement");
    wid(REF_SYMMETRY) = GMCREATETOGGLEBUTTON(d, 0, 6, 7, 1, "Symmetry constrained", 0, CMD_REF_SYMMETRY);
    wid(REF_OFFSETS) = GMCREATETOGGLEBUTTON(d, 0, 5, 7, 1, "Refine crystal offsets", 0, CMD_REF_OFFSETS);
    wid(REF_OMZERO) = GMCREATETOGGLEBUTTON(d, 0, 4, 7, 1, "Refine omega zero", 0, CMD_REF_OMZERO);
    wid(REF_SYSTEM_LIST) = GMCREATELISTBOX(d, 8, 2, 6, 5, "Crystal system", 0);
    for (const char* s : {"Monoclinic-b", "Monoclinic-c", "Orthorhombic", "Tetragonal", "Hexagonal", "Cubic"})
        GMSETLISTENTRY(wid(REF_SYSTEM_LIST), s);
    wid(REF_QUIT) = GMCREATEPUSHBUTTON(d, 2, 0, 3, 1, "Quit", CMD_REF_QUIT);
    wid(REF_REFINE) = GMCREATEPUSHBUTTON(d, 9, 0, 3, 1, "Refine", CMD_REF_REFINE);
}

void create_results_dialog() {
    const int d = wid(DLG_RESULTS) = dialog(13, 14, "Cell Refinement Results");
    caption(d, 4, 13, 3, "Value");
    caption(d, 7, 13, 3, "Esd");
    static const char* const rows[] = {"a", "b", "c", "alpha", "beta ", "gamma", "Vol  "};
    for (int n = 1; n <= 7; ++n) {
        const int y = 13 - n;
        std::string name = rows[n - 1];
        while (!name.empty() && name.back() == ' ') name.pop_back();
        caption(d, 0, y, 4, rows[n - 1]);
        wid(RES_VALUE(n)) = entry(d, 4, y, 3, 0.0, 10, RES_DECIMALS(n), 0, name + " Value");
        // A value fixed exactly has no esd: the field then stays empty.
        wid(RES_ESD(n)) = GMCREATETEXTENTRY(d, 7, y, 3, 1, "", 10, 0, EntryKind::Display, name + " Esd");
    }
    caption(d, 0, 4, 4, "Xtal offsets");
    for (int i = 1; i <= 3; ++i)
        wid(RES_OFFSET(i)) = entry(d, 1 + 3 * i, 4, 3, 0.0, 7, 4, 0, "Xtal offset " + std::to_string(i));
    caption(d, 0, 3, 4, "Omega zero  ");
    wid(RES_OMZERO) = entry(d, 4, 3, 3, 0.0, 7, 4, 0, "Omega zero");
    caption(d, 0, 2, 4, "Nreflections");
    wid(RES_NREF) = entry(d, 4, 2, 3, 0.0, 5, 0, 0, "Nreflections");
    wid(RES_OK) = GMCREATEPUSHBUTTON(d, 5, 0, 3, 1, "Ok", CMD_RESULTS_OK);
}

void create_prompt_dialogs() {
    const int wait = wid(DLG_WAIT) = dialog(9, 2, "Tarnivox");
    wid(WAIT_CAPTION) =
        GMCREATETEXTENTRY(wait, 1, 0, 8, 2, "Working; Please wait...", 0, 0, EntryKind::Caption);

    const int step = wid(DLG_STEPSIZE) = dialog(10, 3, "Tarnivox");
    caption(step, 0, 2, 6, "Input omega step size:");
    wid(STEP_VALUE) = entry(step, 6, 2, 3, 0.02, 6, 4, 0, "Omega step size");
    wid(STEP_OK) = GMCREATEPUSHBUTTON(step, 3, 0, 3, 1, "Ok", CMD_STEP_OK);

    const int nopar = wid(DLG_NOPARFILE) = dialog(11, 4, "TARNIVOX");
    caption(nopar, 0, 3, 11, "No parameter file has been opened.");
    caption(nopar, 0, 2, 11, "Select action!");
    wid(NOPAR_OPEN) = GMCREATEPUSHBUTTON(nopar, 1, 0, 4, 1, "Open File", CMD_NOPAR_OPEN);
    wid(NOPAR_EXIT) = GMCREATEPUSHBUTTON(nopar, 6, 0, 4, 1, "Exit", CMD_NOPAR_EXIT);
}

}  // namespace

void GRAPHICS_SETUP() {
    GOPENGINO();
    GGUIWIN();
    GMINITIALIZEMENU();
    GMDEFINEGUIGRID(32, 24);

    WS.MAINWIN = GMCREATEMASTERWINDOW(5, 5, 20, 19, "TARNIVOX V" + std::string(TARNIVOX_VERSION), "Tarnivox");
    WS.GFRAME = GMCREATEGRAPHICSFRAME(WS.MAINWIN, 1, 4, 18, 12);
    WS.XAXISY = 20.0;
    WS.FRAMEW = 300.0;
    WS.FRAMEH = 200.0;
    wid(MAIN_STATUSBAR) = GMCREATESTATUSBAR(WS.MAINWIN, "Tarnivox version " + std::string(TARNIVOX_VERSION));
    wid(MAIN_ICON) = GMCREATEICON(WS.MAINWIN, 0, 0, 2, 2);

    create_fitting_panel();
    create_file_captions();
    create_menus();

    // Every dialog box exists from now on, hidden until a routine runs it.
    create_format_dialog();
    create_fit_controls_dialog();
    create_preprocess_dialog();
    create_diffractometer_dialog();
    create_pkvals_dialog();
    create_background_dialog();
    create_fwhm_dialog();
    create_output_format_dialog();
    create_refinement_dialog();
    create_results_dialog();
    create_prompt_dialogs();
    // From here the boxes of the readers, writers and computations appear
    // in this window.
    show_messages_in_window();
    // Readers of files without their omega step width ask in the step box.
    set_step_width_source([] {
        double step = 0.0;
        GET_STEP_SIZE(step);
        return step;
    });

    GMDRAWWINDOW(WS.MAINWIN);
}

void END_GRAPHICS() {
    FRACLE(WS.GFRAME);
    GMREMOVEWINDOW(wid(DLG_FITCTRL));
    for (int i = 2; i <= WS.NPANEL; ++i) GMSETWIDGETSTATUS(wid(PANEL(i)), -1);
    for (int m = 1; m <= 4; ++m) GMSETWIDGETSTATUS(wid(MENU_TITLE(m)), 1);
    GMDRAWWINDOW(WS.MAINWIN);
}

void SHOW_TITLE() { GMSETTEXTSETTING(wid(MAIN_TITLE), G.TITLE.str()); }

std::string_view input_format_label(int infmt) {
    const InputFormat* f = input_format(infmt);
    return f ? f->radio : std::string_view();
}

}  // namespace tarnivox
