#pragma once
// Where each widget handle lives in the widget table WID(group, item) of
// the store.  GRAPHICS_SETUP fills every slot; the routines that show,
// fill and read a dialog find its widgets here.  A slot is {group, item}.

#include "core/store.h"
#include "ui/window_state.h"

namespace tarnivox {

struct WidSlot {
    int group;
    int item;
};

inline int& wid(WidSlot s) { return WS.WID(s.group, s.item); }

// Group 1: the fitting panel, items 1..20 in the order of the panel:
// 1 Exit, 2 Previous, 3 Next, 4 Refit, 5 hkl entry, 6 its Go, 7 sequence
// number entry, 8 its Go, 9 "HKL = ", 10 "ISEQ = ", 11 Accept, 12 Reject,
// 13..16 angle entries 2theta, omega, chi, phi, 17 "ANGLES:", 18 Start,
// 19 Stop, 20 Export.
inline constexpr WidSlot PANEL(int item) { return {1, item}; }

// Group 2: "Fitting Controls & Results".  k is the profile parameter
// (1 BACKGROUND, 2 FWHM, 3 INTENSITY, 4 POSITION, 5 ETA, 6 IRATIO, 7 Rwp).
inline constexpr WidSlot FC_INPUT(int k) { return {2, k}; }          // k 1..6
inline constexpr WidSlot FC_REFINE(int k) { return {2, 10 + k}; }    // "R" toggles, k 1..6
inline constexpr WidSlot FC_DEFAULT(int k) { return {2, 20 + k}; }   // "D" toggles, k 1..6
inline constexpr WidSlot FC_REFINED(int k) { return {2, 30 + k}; }   // k 1..7
inline constexpr WidSlot FC_ESD(int k) { return {2, 40 + k}; }       // k 1..6
inline constexpr WidSlot FC_LIMIT_ON(int k) { return {2, 50 + k}; }  // k 1..7
inline constexpr WidSlot FC_LOWER(int k) { return {2, 60 + k}; }     // k 1..6
inline constexpr WidSlot FC_UPPER(int k) { return {2, 70 + k}; }     // k 1..7
inline constexpr WidSlot FC_FLAGS{2, 80};                            // "Flags" text, 6 characters
inline constexpr WidSlot FC_SKIPWEAK{2, 81};
inline constexpr WidSlot FC_RESET{2, 82};

// Group 3: the menus: items 1..4 the four menu titles, then the entries in
// menu order from item 5 (separators included).
inline constexpr WidSlot MENU_TITLE(int n) { return {3, n}; }
inline constexpr WidSlot MENU_ENTRY(int n) { return {3, 4 + n}; }
// The entries other routines enable and grey (File has two separators).
inline constexpr WidSlot MENU_ZREF = MENU_ENTRY(14);
inline constexpr WidSlot MENU_CALC_UB = MENU_ENTRY(15);
inline constexpr WidSlot MENU_CALC_BACKGROUND = MENU_ENTRY(16);
inline constexpr WidSlot MENU_CALC_FWHM = MENU_ENTRY(17);
inline constexpr WidSlot MENU_DELTA_D = MENU_ENTRY(18);
inline constexpr WidSlot MENU_OUTPUT_FORMAT = MENU_ENTRY(22);
// "Report", last of "Utilities", after the program's own 22 entries.
inline constexpr WidSlot MENU_REPORT = MENU_ENTRY(23);

// Group 4: the main window's other widgets.
inline constexpr WidSlot MAIN_DATA_CAPTION{4, 1};    // "Data from"
inline constexpr WidSlot MAIN_INFILE{4, 2};          // input data file path
inline constexpr WidSlot MAIN_TITLE{4, 3};           // data-set title
inline constexpr WidSlot MAIN_OUTPUT_CAPTION{4, 4};  // "Output:"
inline constexpr WidSlot MAIN_OUTFILE{4, 5};
inline constexpr WidSlot MAIN_FORMAT_CAPTION{4, 6};  // "Format:"
inline constexpr WidSlot MAIN_FORMAT{4, 7};
inline constexpr WidSlot MAIN_STATUSBAR{4, 8};
inline constexpr WidSlot MAIN_ICON{4, 9};
inline constexpr WidSlot MAIN_MENUBAR{4, 10};

// Group 5: the dialog boxes, in the order they are created.
inline constexpr WidSlot DLG_FORMAT{5, 1};        // "Input Data file Format"
inline constexpr WidSlot DLG_FITCTRL{5, 2};       // "Fitting Controls & Results"
inline constexpr WidSlot DLG_PREPROCESS{5, 3};    // "Preprocessing Control"
inline constexpr WidSlot DLG_DIFFRACT{5, 4};      // "Diffractometer constants"
inline constexpr WidSlot DLG_PKVALS{5, 5};        // "Peak parameter default values"
inline constexpr WidSlot DLG_BACKGROUND{5, 6};    // "Fixed Background Options"
inline constexpr WidSlot DLG_FWHM{5, 7};          // "FWHM values from dataset"
inline constexpr WidSlot DLG_OUTFORMAT{5, 8};     // "Output Format"
inline constexpr WidSlot DLG_REFINEMENT{5, 9};    // "Unit Cell Refinement"
inline constexpr WidSlot DLG_RESULTS{5, 10};      // "Cell Refinement Results"
inline constexpr WidSlot DLG_WAIT{5, 11};         // wait box
inline constexpr WidSlot DLG_STEPSIZE{5, 12};     // step-size box
inline constexpr WidSlot DLG_NOPARFILE{5, 13};    // missing-parameter-file box

// Group 6: widgets of the smaller parameter and format dialogs.
// "Input Data file Format": radio buttons in the order Xcalibur, Old Single,
// Enraf CAD4, Xscans, Stoe, Phillips Febo, Standard.
inline constexpr WidSlot FMT_RADIO(int n) { return {6, n}; }  // n 1..7
inline constexpr WidSlot FMT_OK{6, 8};
// "Output Format": Rfine, Rfine extended, Shelx hkl.
inline constexpr WidSlot OUTFMT_RADIO(int n) { return {6, 10 + n}; }  // n 1..3
inline constexpr WidSlot OUTFMT_QUIT{6, 14};
inline constexpr WidSlot OUTFMT_SAVE{6, 15};
// "Fixed Background Options": None, Spline, Exp, From scan.
inline constexpr WidSlot BG_RADIO(int mode) { return {6, 21 + mode}; }  // mode 0..3
inline constexpr WidSlot BG_A{6, 25};
inline constexpr WidSlot BG_B{6, 26};
inline constexpr WidSlot BG_C{6, 27};
inline constexpr WidSlot BG_NSTEP{6, 28};
inline constexpr WidSlot BG_QUIT{6, 29};
inline constexpr WidSlot BG_SAVE{6, 30};
// "Peak parameter default values".
inline constexpr WidSlot PK_FWHMA{6, 41};
inline constexpr WidSlot PK_FWHMB{6, 42};
inline constexpr WidSlot PK_ETA{6, 43};
inline constexpr WidSlot PK_RATIO{6, 44};
inline constexpr WidSlot PK_WAVE1{6, 45};
inline constexpr WidSlot PK_WAVE2{6, 46};
inline constexpr WidSlot PK_QUIT{6, 47};
inline constexpr WidSlot PK_SAVE{6, 48};
// "FWHM values from dataset".
inline constexpr WidSlot FW_A{6, 51};
inline constexpr WidSlot FW_B{6, 52};
inline constexpr WidSlot FW_ESDA{6, 53};
inline constexpr WidSlot FW_ESDB{6, 54};
inline constexpr WidSlot FW_QUIT{6, 55};
inline constexpr WidSlot FW_SAVE{6, 56};
// "Preprocessing Control".
inline constexpr WidSlot PRE_ISIG{6, 61};
inline constexpr WidSlot PRE_QUIT{6, 62};
inline constexpr WidSlot PRE_GO{6, 63};

// Group 7: widgets of the instrument, refinement and prompt dialogs.
// "Diffractometer constants".
inline constexpr WidSlot DIF_PARITY(int n) { return {7, n}; }  // n 1..4
inline constexpr WidSlot DIF_MONO_CAPTION{7, 5};
inline constexpr WidSlot DIF_MONO{7, 6};
inline constexpr WidSlot DIF_DIHEDRAL_CAPTION{7, 7};
inline constexpr WidSlot DIF_DIHEDRAL{7, 8};
inline constexpr WidSlot DIF_DIRECTION_CAPTION{7, 9};  // "Parallel" / "Anti-parallel"
inline constexpr WidSlot DIF_ATTEN{7, 10};
inline constexpr WidSlot DIF_RS{7, 11};
inline constexpr WidSlot DIF_OK{7, 12};
// "Unit Cell Refinement".
inline constexpr WidSlot REF_SYMMETRY{7, 21};
inline constexpr WidSlot REF_OFFSETS{7, 22};
inline constexpr WidSlot REF_OMZERO{7, 23};
inline constexpr WidSlot REF_SYSTEM_LIST{7, 24};
inline constexpr WidSlot REF_QUIT{7, 25};
inline constexpr WidSlot REF_REFINE{7, 26};
// "Cell Refinement Results": cell values and esds 1..7 (a, b, c, alpha,
// beta, gamma, volume).
inline constexpr WidSlot RES_VALUE(int n) { return {7, 30 + n}; }
// Display fields: the esd as text, empty for a value without one.
inline constexpr WidSlot RES_ESD(int n) { return {7, 40 + n}; }
// Decimals of the value and esd of row n: lengths in A, angles in degrees,
// the volume in A^3.
inline constexpr int RES_DECIMALS(int n) { return n <= 3 ? 5 : n <= 6 ? 3 : 4; }
inline constexpr WidSlot RES_OFFSET(int n) { return {7, 50 + n}; }  // n 1..3
inline constexpr WidSlot RES_OMZERO{7, 54};
inline constexpr WidSlot RES_NREF{7, 55};
inline constexpr WidSlot RES_OK{7, 56};
// Prompts.
inline constexpr WidSlot STEP_VALUE{7, 61};
inline constexpr WidSlot STEP_OK{7, 62};
inline constexpr WidSlot NOPAR_OPEN{7, 71};
inline constexpr WidSlot NOPAR_EXIT{7, 72};
inline constexpr WidSlot WAIT_CAPTION{7, 81};

}  // namespace tarnivox
