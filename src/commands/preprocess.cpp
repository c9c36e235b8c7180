// Preprocessing walks the data set once, fitting every reflection with the
// current fit controls, and keeps the strong well-fitted ones (not the
// standards) in the refinement list.  The UB fit refines the orientation,
// the cell and optionally an omega zero point, crystal offsets or a
// symmetry-constrained cell from the list and reports it in the log.

#include "commands/preprocess.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/exitint.h"
#include "core/store.h"
#include "commands/fit_loop.h"
#include "operations/scan_walk.h"
#include "fitting/fitscan.h"
#include "import/stddata.h"
#include "io/layout.h"
#include "io/units.h"
#include "output/log_file.h"
#include "refine/cell_lsq.h"
#include "refine/offsets.h"
#include "refine/refinement_list.h"
#include "refine/ub_lsq.h"
#include "ui/dialogs.h"
#include "ui/fit_settings.h"
#include "ui/graphics.h"
#include "ui/plotscan.h"
#include "ui/preprocess_state.h"
#include "ui/toolkit/toolkit.h"
#include "ui/widgets.h"

namespace tarnivox {
namespace {

constexpr int TICK = 990;
constexpr int TICK_INTERVAL = 10;
constexpr int NOTICE_ICON = 3;

// The reflection display of the main window during preprocessing: the
// indices and number fields with their captions and the four angles.
constexpr int DISPLAY_ITEMS[] = {5, 7, 9, 10, 13, 14, 15, 16, 17};

void running() {
    panel_status(1, 0);
    panel_status(18, 0);
    panel_status(19, 1);
    GMDEFINETIMERCALLBACK(TICK_INTERVAL, TICK);
}

void paused() {
    panel_status(1, 1);
    panel_status(18, 1);
    panel_status(19, 0);
    GMDEFINETIMERCALLBACK(TICK_INTERVAL, 0);
}

void stop_ticks() { GMDEFINETIMERCALLBACK(50, 0); }

enum class Next { Wait, Finish, Abandon };

// I/sigma of the entries of the refinement list, for a full list that
// keeps the strongest; `raised_to` is the threshold it has risen to (0
// while the list has room) and `qualified` counts the reflections that
// passed the typed threshold.
struct ListStrength {
    Arr1<double, MAXREFLIST> isig;
    double raised_to = 0.0;
    int qualified = 0;
};

// The list is full and the fitted current scan qualifies: the weakest of
// the list and the scan is left out, and the threshold rises to its
// I/sigma, so that the list holds what a run with that threshold keeps.
void keep_strongest(ListStrength& strength) {
    const double isig = G.FITI / G.FITSIG;
    int weakest = 1;
    for (int n = 2; n <= G.NUBREF; ++n)
        if (strength.isig(n) < strength.isig(weakest)) weakest = n;
    if (isig <= strength.isig(weakest)) {
        strength.raised_to = std::max(strength.raised_to, isig);
        return;
    }
    strength.raised_to = std::max(strength.raised_to, strength.isig(weakest));
    remove_from_refinement_list(weakest);
    for (int n = weakest; n <= G.NUBREF; ++n) strength.isig(n) = strength.isig(n + 1);
    ADD_TO_REFINEMENT_LIST();
    strength.isig(G.NUBREF) = isig;
}

// Reads, fits and judges the next reflection of the data set.
Next one_reflection(double threshold, ListStrength& strength) {
    const Arr1<int, 3> none;
    if (ends_walk(read_reflection(0, 0, none, false))) {
        stop_ticks();
        panel_status(1, 1);
        return Next::Finish;
    }
    SET_FIT_PARAMETERS();
    READ_FIT_PARAMETERS();
    // The dialog's "Skip weak reflns" switch must not let weak reflections
    // back into the walk: preprocessing always steps over them.
    G.SKIPWEAK = 1;
    int ierr = 0;
    FITSCAN(0, ierr);
    PLOTSCAN();
    WRITE_REFINED_PARAMETERS();
    if (!count_fit_outcome() || !qualifies_for_list(threshold)) return Next::Wait;
    ++strength.qualified;
    if (G.NUBREF >= MAXREFLIST && G.PREPRAISE == 1) {
        keep_strongest(strength);
        return Next::Wait;
    }
    if (ADD_TO_REFINEMENT_LIST() == 0) {
        strength.isig(G.NUBREF) = G.FITI / G.FITSIG;
    } else {
        // The 1001st strong reflection: the list is full.
        stop_ticks();
        GMDISPLAYERRORBOX("Tarnivox", "Too many reflections: Increase I/sig");
        panel_status(1, 1);
        END_GRAPHICS();
        return Next::Abandon;
    }
    return Next::Wait;
}

// The list could not hold every reflection above the typed threshold: the
// notice, and the same words in the log.
constexpr std::string_view RAISED_NOTICE =
    "('I/sigma threshold raised from ',F5.1,' to ',F7.1,': the ',I4,' strongest of ',I7,"
    "' reflections kept')";
constexpr std::string_view RAISED_LOG =
    "(/,' I/SIGMA THRESHOLD RAISED FROM ',F5.1,' TO ',F7.1,': THE ',I4,' STRONGEST OF ',I7,"
    "' REFLECTIONS KEPT')";

void finish_preprocessing(double threshold, const ListStrength& strength) {
    END_GRAPHICS();
    GMDISPLAYMESSAGEBOX("TARNIVOX", format_record("(I5,' Reflections stored for fitting')", {G.NUBREF}),
                        NOTICE_ICON, GM_BUTTONS_OK);
    const bool raised = strength.raised_to > 0.0;
    if (raised)
        GMDISPLAYMESSAGEBOX(
            "TARNIVOX",
            format_record(RAISED_NOTICE, {threshold, strength.raised_to, G.NUBREF, strength.qualified}),
            NOTICE_ICON, GM_BUTTONS_OK);
    SET_PREPROCESS(1, 0);
    if (G.LOGOPEN == 1) {
        if (raised)
            write_record(LU_LOG, RAISED_LOG, {threshold, strength.raised_to, G.NUBREF, strength.qualified});
        write_record(LU_LOG, "(/,/,1X,60('*'),/,11X,'SUMMARY OF REFLECTIONS FIT WITH PREPROCESS UTILITY')");
        WRITE_FIT_SUMMARY(LU_LOG);
        flush_unit(LU_LOG);
    }
}

}  // namespace

void START_PREPROCESS() {
    WRITE_FIT_PARAMETERS();
    if (have_reflection()) SET_FIT_PARAMETERS();
    WRITE_FIT_PARAMETERS();
    begin_fitting_window();
    const int box = wid(DLG_PREPROCESS);
    GMDRAWWINDOW(box);
    for (;;) {
        const int command = GMACTION();
        switch (command) {
            case GM_CLOSE: EXITINT("");
            case 101:
            case 54:
                GMREMOVEWINDOW(box);
                END_GRAPHICS();
                return;
            case 53: PREPROCESS(); return;
            default: fit_control_command(command); break;
        }
    }
}

void PREPROCESS() {
    // NFITC(12) as well: preprocessing has no second pass, and a count left
    // by an automatic run would appear as recovered reflections in its summary.
    for (int i = 1; i <= 12; ++i) G.NFITC(i) = 0;
    G.NPASS2 = 0;
    G.NUBREF = 0;
    G.FITMODE = 2;
    // Weak reflections are stepped over for this run only; the dialog's
    // switch is the user's choice for the fitting runs.
    const int users_skipweak =
        wid(FC_SKIPWEAK) != 0 ? (GMENQTOGGLESWITCH(wid(FC_SKIPWEAK)) != 0 ? 1 : 0) : G.SKIPWEAK;
    G.SKIPWEAK = 1;
    G.NREF = 0;
    int status = 0;
    SKIP_HEADER_STDDATA(G.LUSCR, status);

    const double typed = wid(PRE_ISIG) != 0 ? GMENQVALUESETTING(wid(PRE_ISIG)) : 10.0;
    // A field that holds no number is taken as its preset value.
    const double threshold = preprocess_threshold(std::isfinite(typed) ? typed : 10.0);

    GMREMOVEWINDOW(wid(DLG_PREPROCESS));
    for (int item = 2; item <= 20; ++item) panel_status(item, -1);
    for (int item : DISPLAY_ITEMS) panel_status(item, 1);
    running();

    ListStrength strength;
    for (;;) {
        const int command = GMACTION();
        Next next = Next::Wait;
        switch (command) {
            case GM_CLOSE: stop_ticks(); EXITINT("");
            case 119: paused(); break;
            case 118: running(); break;
            case 101: next = Next::Finish; break;
            case TICK: next = one_reflection(threshold, strength); break;
            default: break;
        }
        if (next == Next::Abandon) {
            G.SKIPWEAK = users_skipweak;
            return;
        }
        if (next == Next::Finish) break;
    }
    // The summary says that weak reflections were left out.
    finish_preprocessing(threshold, strength);
    G.SKIPWEAK = users_skipweak;
}

namespace {

// Names of the crystal systems in record B, by symmetry choice.
const char* const SYSTEM_NAMES[] = {"Monoclinic (B-unique)", "Monoclinic (C-unique)", "Orthorhombic",
                                    "Tetragonal", "Hexagonal", "Cubic"};

void log_record(std::string_view layout, std::initializer_list<OutItem> items = {}) {
    if (G.LOGOPEN == 1) write_record(LU_LOG, layout, items);
}

// The parameters the chosen refinement fits beyond the nine of UB: the
// omega zero point and crystal offsets; a symmetry-constrained refinement
// fits fewer, but tests its constraints against the unconstrained fit,
// which needs an observation to spare.
int extra_parameters(int offsets, int zero, int isym) {
    if (isym != 0) return 0;
    return (offsets == 1 ? 3 : 0) + (zero == 1 ? 1 : 0);
}

// Runs the refinement of highest precedence among the choices; logs its
// heading (record D before its refinement, the others after success).
// Returns 0 or the reason (UB_FIT_*) the refinement failed or is refused.
int run_refinement(int offsets, int zero, int isym) {
    // Each reflection gives three observations (its diffraction vector).
    // A refinement of the omega zero point or offsets, or the test of a
    // crystal system, without an observation to spare fits the list
    // exactly: its values are not determined by the data.
    const int extra = extra_parameters(offsets, zero, isym);
    const bool needs_spare = isym != 0 || extra > 0;
    if (needs_spare && 3 * G.NUBREF < 9 + extra + 1) return UB_FIT_NO_REDUNDANCY;
    int ierr = 0;
    if (isym != 0) {
        LSVEC(isym, ierr);
        if (ierr == CONSTRAINTS_UNMET) return UB_FIT_CONSTRAINTS_UNMET;
        // Data without the chosen symmetry: the constrained cell is no
        // cell of that system, and the refinement has failed.
        if (ierr == 0 && symmetry_misfit() > SYMMETRY_MISFIT_LIMIT) return UB_FIT_WRONG_SYMMETRY;
        if (ierr == 0) log_record("(/,'  SYMMETRY-CONSTRAINED TO ',A25,' NO XTAL OFFSETS')", {SYSTEM_NAMES[isym - 1]});
    } else if (offsets == 1) {
        LSQ_WITHOFF(zero, ierr);
        if (ierr == 0) log_record("(/,'  UNCONSTRAINED REFINEMENT WITH CRYSTAL OFFSETS')");
    } else if (zero == 1) {
        log_record("(/,'  UNCONSTRAINED REFINEMENT WITH OMEGA ZERO')");
        LSQ_ZERO(ierr);
    } else {
        static AngTable ang;
        static IhTable ih;
        refinement_list_tables(ang, ih);
        LSQ(G.NUBREF, ang, ih, ierr);
        if (ierr == 0) log_record("(/,'  UNCONSTRAINED REFINEMENT ')");
    }
    if (ierr == SHIFT_FAILED) return UB_FIT_SHIFT_FAILED;
    return ierr == 0 ? 0 : UB_FIT_SINGULAR;
}

// What a UB fit changes, kept so that a failed or refused one leaves the
// orientation, the cell and the zero point and offsets as they were.
struct RefinedState {
    Arr2<double, 3, 3> UB, UBT, BMAT;
    Arr1<double, 6> RCELL;
    Arr1<double, 7> CELL, CELLESD;
    Arr1<double, 3> XTALOFF, XOFFESD;
    double OMZERO, OMZESD;
    int UBFLAG, CELLNOESD;
};

RefinedState refined_state() {
    return {G.UB,      G.UBT,     G.BMAT,   G.RCELL,  G.CELL,   G.CELLESD,
            G.XTALOFF, G.XOFFESD, G.OMZERO, G.OMZESD, G.UBFLAG, G.CELLNOESD};
}

void restore(const RefinedState& s) {
    G.UB = s.UB, G.UBT = s.UBT, G.BMAT = s.BMAT, G.RCELL = s.RCELL;
    G.CELL = s.CELL, G.CELLESD = s.CELLESD;
    G.XTALOFF = s.XTALOFF, G.XOFFESD = s.XOFFESD, G.OMZERO = s.OMZERO, G.OMZESD = s.OMZESD;
    G.UBFLAG = s.UBFLAG, G.CELLNOESD = s.CELLNOESD;
}

void log_failure(int reason) {
    if (G.LOGOPEN != 1) return;
    write_record(LU_LOG,
                 "(/,'  FAILURE IN LEAST-SQUARES PROCEDURE, INPUT DATA WERE:',/,/,"
                 "'   H   K   L  2THETA   OM(FIT)    CHI      PHI   ',/)");
    for (int n = 1; n <= G.NUBREF; ++n)
        write_record(LU_LOG, "(3I4,4F9.3)",
                     {G.IHREF(n, 1), G.IHREF(n, 2), G.IHREF(n, 3), G.TTHREF(n), G.OMREF(n), G.CHIREF(n),
                      G.PHIREF(n)});
    write_record(
        LU_LOG,
        "(/,'  REFINEMENT FAILED: ',A,/,'  ORIENTATION MATRIX, CELL, OMEGA-ZERO AND OFFSETS ARE UNCHANGED')",
        {std::string(ub_fit_failure_text(reason))});
    flush_unit(LU_LOG);
}

// Records H or I, one record J per entry, then K, L and M, and the esds of
// the zero point and offsets that were refined.
void log_results(bool with_offsets, bool zero_refined, bool offsets_refined) {
    if (with_offsets)
        log_record(
            "('   H   K   L  2TH(DET)  2TH(cal) OM(FIT)     CHI     PHI   OM(UB) + OM(OFF) = OM(CALC)   "
            "DEL-OM',/)");
    else
        log_record("(/,'   H   K   L  2TH(det)  2TH(cal) OM(FIT)     CHI     PHI   OM(UB)   DEL-OM',/)");
    double sum = 0.0, largest = 0.0;
    for (int n = 1; n <= G.NUBREF; ++n) {
        const UbTableRow r = ub_table_row(n, with_offsets);
        if (with_offsets)
            log_record("(3I4,2F9.4,7F9.3)", {G.IHREF(n, 1), G.IHREF(n, 2), G.IHREF(n, 3), G.TTHREF(n), r.tth_cal,
                                             G.OMREF(n), G.CHIREF(n), G.PHIREF(n), r.om_ub, r.om_off, r.om_calc,
                                             r.del});
        else
            log_record("(3I4,2F9.4,5F9.3)", {G.IHREF(n, 1), G.IHREF(n, 2), G.IHREF(n, 3), G.TTHREF(n), r.tth_cal,
                                             G.OMREF(n), G.CHIREF(n), G.PHIREF(n), r.om_ub, r.del});
        sum += std::fabs(r.del);
        if (std::fabs(r.del) > largest) largest = std::fabs(r.del);
    }
    log_record(
        "(/,/,'  Unconstrained Orientation Matrix ',/,5X,'(For Busing Levy axes and circle parities)',/)");
    for (int i = 1; i <= 3; ++i) log_record("(3F12.5)", {G.UB(i, 1), G.UB(i, 2), G.UB(i, 3)});
    log_record("(/,/,' CELL',12X,3F9.5,3F8.3,F10.4)", {G.CELL});
    // A cell fixed without redundancy has no esds; zeros would read as exact.
    if (G.CELLNOESD == 1)
        log_record("(' ESDs',12X,'NONE: ',I1,' REFLECTIONS FIX THE CELL WITHOUT REDUNDANCY')", {G.NUBREF});
    else
        log_record("(' ESDs',12X,3F9.5,3F8.3,F10.4)", {G.CELLESD});
    log_record(
        "(/,5X,I5,' REFLECTIONS USED',/,' AVERAGE DELTA-OMEGA = ',F7.4,/,"
        "'     MAX OMEGA ERROR = ',F7.4,/,'          OMEGA-ZERO = ',F7.4,/,/,'     CRYSTAL OFFSETS = ',"
        "3F10.4,/)",
        {G.NUBREF, sum / G.NUBREF, largest, G.OMZERO, G.XTALOFF});
    if (zero_refined) log_record("('      ESD OMEGA-ZERO = ',F7.4)", {G.OMZESD});
    if (offsets_refined) log_record("(' ESD CRYSTAL OFFSETS = ',3F10.4,/)", {G.XOFFESD});
    if (G.LOGOPEN == 1) flush_unit(LU_LOG);
}

}  // namespace

void UB_FIT() {
    if (G.NUBREF < 3) {
        G.UBFAIL = UB_FIT_TOO_FEW;
        GMDISPLAYERRORBOX("Tarnivox", "Too Few Reflections for Least Squares");
        return;
    }
    int go = 0, offsets = 0, zero = 0, isym = 0;
    RUN_REFINEMENT_BOX(go, offsets, zero, isym);
    if (go == 0) return;

    const RefinedState before = refined_state();
    G.XTALOFF.fill(0.0);
    G.OMZERO = 0.0;
    G.XOFFESD.fill(0.0);
    G.OMZESD = 0.0;
    G.UBFLAG = 0;
    G.UBFAIL = 0;
    WAITBOX(1);
    log_record("(/,/,' RESULTS OF LEAST SQUARES REFINEMENT OF CELL PARAMETERS')");

    const int failure = run_refinement(offsets, zero, isym);
    if (failure != 0) {
        // Nothing of a failed or refused refinement stands.
        restore(before);
        G.UBFAIL = failure;
        WAITBOX(0);
        GMDISPLAYERRORBOX("Tarnivox", "Problem with least squares procedure for unit-cell");
        log_failure(failure);
        return;
    }
    const bool offsets_refined = isym == 0 && offsets == 1;
    const bool zero_refined = isym == 0 && zero == 1;
    if (!offsets_refined) G.XTALOFF.fill(0.0), G.XOFFESD.fill(0.0);
    if (!zero_refined) G.OMZESD = 0.0;
    // Three reflections and the nine elements of UB: an exact fit, whose
    // cell has no esds (and none from an earlier refinement may stand).
    G.CELLNOESD = isym == 0 && 3 * G.NUBREF <= 9 + extra_parameters(offsets, zero, isym) ? 1 : 0;
    if (G.CELLNOESD == 1) G.CELLESD.fill(0.0);
    RECIP_CELL();
    G.UBFLAG = 1;
    log_results(offsets == 1, zero_refined, offsets_refined);
    WAITBOX(0);
    RUN_RESULTS_BOX(G.NUBREF);
    if (const int h = wid(MENU_DELTA_D)) GMSETWIDGETSTATUS(h, 1);
}

const char* ub_fit_failure_text(int reason) {
    // Short enough to follow "REFINEMENT FAILED: " in a fatal message.
    switch (reason) {
        case UB_FIT_SINGULAR: return "INDICES DO NOT SPAN THREE DIMENSIONS";
        case UB_FIT_NO_REDUNDANCY: return "NO REDUNDANCY: TOO FEW REFLECTIONS";
        case UB_FIT_SHIFT_FAILED: return "OMEGA ZERO OR OFFSETS NOT REFINABLE";
        case UB_FIT_WRONG_SYMMETRY: return "DATA LACK THE CHOSEN SYMMETRY";
        case UB_FIT_CONSTRAINTS_UNMET: return "CELL DOES NOT MEET ITS CONSTRAINTS";
        case UB_FIT_TOO_FEW: return "FEWER THAN 3 REFLECTIONS";
        default: return "";
    }
}

}  // namespace tarnivox
