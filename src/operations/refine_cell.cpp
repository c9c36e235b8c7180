#include "operations/refine_cell.h"

#include "core/store.h"
#include "output/refinement_records.h"
#include "refine/cell_lsq.h"
#include "refine/offsets.h"
#include "refine/refinement_list.h"
#include "refine/ub_lsq.h"

namespace tarnivox {
namespace {

// The parameters the chosen refinement fits beyond the nine of UB: the
// omega zero point and crystal offsets; a symmetry-constrained refinement
// fits fewer, but tests its constraints against the unconstrained fit,
// which needs an observation to spare.
int extra_parameters(const RefineCellRequest& r) {
    if (r.crystal_system != 0) return 0;
    return (r.offsets ? 3 : 0) + (r.omega_zero ? 1 : 0);
}

// Runs the refinement of highest precedence among the choices; logs its
// kind (the omega zero point's before its refinement, the others after
// success).  Returns 0 or the reason (UB_FIT_*) it failed or is refused.
int run_refinement(const RefineCellRequest& r) {
    // Each reflection gives three observations (its diffraction vector).
    // A refinement of the omega zero point or offsets, or the test of a
    // crystal system, without an observation to spare fits the list
    // exactly: its values are not determined by the data.
    const int extra = extra_parameters(r);
    const bool needs_spare = r.crystal_system != 0 || extra > 0;
    if (needs_spare && 3 * G.NUBREF < 9 + extra + 1) return UB_FIT_NO_REDUNDANCY;
    int ierr = 0;
    if (r.crystal_system != 0) {
        const CellLsqWork fit = LSVEC(r.crystal_system, ierr);
        if (ierr == CONSTRAINTS_UNMET) return UB_FIT_CONSTRAINTS_UNMET;
        // Data without the chosen symmetry: the constrained cell is no
        // cell of that system, and the refinement has failed.
        if (ierr == 0 && symmetry_misfit(fit) > SYMMETRY_MISFIT_LIMIT) return UB_FIT_WRONG_SYMMETRY;
        if (ierr == 0) log_ub_method(UbMethod::Symmetry, r.crystal_system);
    } else if (r.offsets) {
        LSQ_WITHOFF(r.omega_zero ? 1 : 0, ierr);
        if (ierr == 0) log_ub_method(UbMethod::Offsets);
    } else if (r.omega_zero) {
        log_ub_method(UbMethod::OmegaZero);
        LSQ_ZERO(ierr);
    } else {
        static AngTable ang;
        static IhTable ih;
        refinement_list_tables(ang, ih);
        LSQ(G.NUBREF, ang, ih, ierr);
        if (ierr == 0) log_ub_method(UbMethod::Plain);
    }
    if (ierr == SHIFT_FAILED) return UB_FIT_SHIFT_FAILED;
    return ierr == 0 ? 0 : UB_FIT_SINGULAR;
}

// What a refinement changes, kept so that a failed or refused one leaves
// the orientation, the cell and the zero point and offsets as they were.
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

RefineCellResult failed(int reason) {
    RefineCellResult r;
    r.failure = reason;
    r.failure_text = ub_fit_failure_text(reason);
    r.reflections = G.NUBREF;
    return r;
}

}  // namespace

RefineCellResult refine_cell(const RefineCellRequest& request, Messages& messages) {
    const MessageRoute route(messages);
    if (G.NUBREF < 3) {
        G.UBFAIL = UB_FIT_TOO_FEW;
        messages.message({"Tarnivox", "Too Few Reflections for Least Squares", MessageKind::Error});
        return failed(UB_FIT_TOO_FEW);
    }
    const RefinedState before = refined_state();
    G.XTALOFF.fill(0.0);
    G.OMZERO = 0.0;
    G.XOFFESD.fill(0.0);
    G.OMZESD = 0.0;
    G.UBFLAG = 0;
    G.UBFAIL = 0;
    log_ub_heading();

    const int failure = run_refinement(request);
    if (failure != 0) {
        // Nothing of a failed or refused refinement stands.
        restore(before);
        G.UBFAIL = failure;
        messages.message(
            {"Tarnivox", "Problem with least squares procedure for unit-cell", MessageKind::Error});
        log_ub_failure(ub_fit_failure_text(failure));
        return failed(failure);
    }
    const bool symmetry = request.crystal_system != 0;
    RefineCellResult r;
    r.refined = true;
    r.reflections = G.NUBREF;
    r.offsets_refined = !symmetry && request.offsets;
    r.omega_zero_refined = !symmetry && request.omega_zero;
    if (!r.offsets_refined) G.XTALOFF.fill(0.0), G.XOFFESD.fill(0.0);
    if (!r.omega_zero_refined) G.OMZESD = 0.0;
    // Three reflections and the nine elements of UB: an exact fit, whose
    // cell has no esds (and none from an earlier refinement may stand).
    G.CELLNOESD = !symmetry && 3 * G.NUBREF <= 9 + extra_parameters(request) ? 1 : 0;
    if (G.CELLNOESD == 1) G.CELLESD.fill(0.0);
    RECIP_CELL();
    G.UBFLAG = 1;
    log_ub_results(request.offsets, r.omega_zero_refined, r.offsets_refined);

    for (int k = 1; k <= 7; ++k) r.cell[k - 1] = G.CELL(k), r.cell_esd[k - 1] = G.CELLESD(k);
    r.cell_has_esd = G.CELLNOESD != 1;
    r.omega_zero = G.OMZERO;
    r.omega_zero_esd = G.OMZESD;
    for (int k = 1; k <= 3; ++k) r.offsets[k - 1] = G.XTALOFF(k), r.offsets_esd[k - 1] = G.XOFFESD(k);
    return r;
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
