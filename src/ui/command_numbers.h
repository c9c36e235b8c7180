#pragma once
// The command numbers that the main window's menus and buttons and the
// dialogs' controls carry, and that GMACTION returns when one fires.  The
// menus, the command loop, the fitting runs, the dialogs and the tests all
// use these names; script files name the numbers (e.g. "command 322").

namespace tarnivox {

// Fitting panel of the main window.
inline constexpr int CMD_PANEL_EXIT = 101;
inline constexpr int CMD_PREVIOUS = 102;
inline constexpr int CMD_NEXT = 103;
inline constexpr int CMD_REFIT = 104;
inline constexpr int CMD_GO_HKL = 106;  // also Enter in the HKL entry
inline constexpr int CMD_GO_ISEQ = 108;
inline constexpr int CMD_ACCEPT = 111;
inline constexpr int CMD_REJECT = 112;
inline constexpr int CMD_START = 118;
inline constexpr int CMD_STOP = 119;
inline constexpr int CMD_EXPORT = 120;

// Menu "File".
inline constexpr int CMD_OPEN_DATA = 312;
inline constexpr int CMD_OPEN_PARAMETERS = 313;
inline constexpr int CMD_OPEN_OUTPUT = 314;
inline constexpr int CMD_OPEN_LOG = 315;
inline constexpr int CMD_EXIT = 316;
inline constexpr int CMD_CREATE_EXP = 317;
inline constexpr int CMD_CREATE_CIF = 318;
inline constexpr int CMD_WRITE_STD = 319;
// Menu "Integrate".
inline constexpr int CMD_MANUAL_FIT = 321;
inline constexpr int CMD_AUTO_FIT = 322;
// Menu "Utilities".
inline constexpr int CMD_PREPROCESS = 331;
inline constexpr int CMD_CALC_UB = 332;
inline constexpr int CMD_CALC_BACKGROUND = 333;
inline constexpr int CMD_CALC_FWHM = 334;
inline constexpr int CMD_ZREF = 335;
inline constexpr int CMD_DELTA_D = 336;
inline constexpr int CMD_REPORT = 337;  // the reduction report of the last automatic run
// Menu "Parameters".
inline constexpr int CMD_PKVALS = 341;
inline constexpr int CMD_DIFFRACTOMETER = 342;
inline constexpr int CMD_BACKGROUNDS = 343;
inline constexpr int CMD_OUTPUT_FORMAT = 344;

// "Fitting Controls & Results": parameter k (1..6) carries base + k.
inline constexpr int CMD_FC_SKIPWEAK = 428;
inline constexpr int CMD_FC_RESET = 429;
inline constexpr int CMD_FC_REFINE = 430;    // + k
inline constexpr int CMD_FC_DEFAULT = 460;   // + k
inline constexpr int CMD_FC_LIMIT_ON = 470;  // + k, k 1..7
inline constexpr int CMD_FC_LOWER = 480;     // + k
inline constexpr int CMD_FC_UPPER = 490;     // + k, k 1..7
// The fit-control commands a fitting run answers by re-reading the dialog.
inline constexpr int CMD_FC_FIRST = 431;
inline constexpr int CMD_FC_LAST = 499;

// Other dialogs.
inline constexpr int CMD_PRE_GO = 53;    // "Preprocessing Control"
inline constexpr int CMD_PRE_QUIT = 54;
inline constexpr int CMD_FW_QUIT = 64;   // FWHM law box
inline constexpr int CMD_FW_SAVE = 65;   // "Save values"
inline constexpr int CMD_FORMAT_OK = 470;
inline constexpr int CMD_DIFFRACTOMETER_OK = 511;
inline constexpr int CMD_PK_QUIT = 531;
inline constexpr int CMD_PK_SAVE = 541;
inline constexpr int CMD_BG_MODE = 562;  // + mode, mode 0..3
inline constexpr int CMD_BG_QUIT = 578;
inline constexpr int CMD_BG_SAVE = 579;
inline constexpr int CMD_OUTFMT_QUIT = 592;
inline constexpr int CMD_OUTFMT_SAVE = 593;
inline constexpr int CMD_OUTFMT_RADIO = 594;  // + i, i 0..2
inline constexpr int CMD_REF_SYMMETRY = 621;
inline constexpr int CMD_REF_OFFSETS = 622;
inline constexpr int CMD_REF_OMZERO = 623;
inline constexpr int CMD_REF_QUIT = 625;
inline constexpr int CMD_REF_REFINE = 626;
inline constexpr int CMD_RESULTS_OK = 631;
inline constexpr int CMD_STEP_OK = 672;
inline constexpr int CMD_NOPAR_OPEN = 811;
inline constexpr int CMD_NOPAR_EXIT = 812;

// The timer tick of the automatic fitting run.
inline constexpr int CMD_TICK = 990;

}  // namespace tarnivox
