#include "refine/refinement_list.h"

#include <cmath>

#include "refine/offsets.h"

namespace tarnivox {

double preprocess_threshold(double typed) { return typed < 3.0 ? 3.0 : typed; }

bool qualifies_for_list(double threshold) {
    if (G.ISCTYPE != 0) return false;
    // An esd of zero (or no number) gives no ratio to judge by.
    if (!(G.FITSIG > 0.0) || !std::isfinite(G.FITI)) return false;
    if (!(G.FITI / G.FITSIG > threshold)) return false;
    for (int k : {1, 2, 4})
        if (!std::isfinite(G.PAR(k))) return false;
    for (int j : {1, 3, 4})
        if (!std::isfinite(G.ANGLES(j))) return false;
    return true;
}

int ADD_TO_REFINEMENT_LIST() {
    if (G.NUBREF >= MAXREFLIST) return 1;
    const int n = G.NUBREF + 1;
    for (int j = 1; j <= 3; ++j) G.IHREF(n, j) = G.IHKL(j);
    G.TTHREF(n) = G.ANGLES(1);
    G.OMREF(n) = G.PAR(4);
    G.CHIREF(n) = G.ANGLES(3);
    G.PHIREF(n) = G.ANGLES(4);
    G.FWREF(n) = G.PAR(2);
    G.FWSREF(n) = G.PARESD(2);
    G.BGREF(n) = G.PAR(1);
    G.NUBREF = n;
    return 0;
}

void remove_from_refinement_list(int m) {
    for (int n = m; n < G.NUBREF; ++n) {
        for (int j = 1; j <= 3; ++j) G.IHREF(n, j) = G.IHREF(n + 1, j);
        G.TTHREF(n) = G.TTHREF(n + 1);
        G.OMREF(n) = G.OMREF(n + 1);
        G.CHIREF(n) = G.CHIREF(n + 1);
        G.PHIREF(n) = G.PHIREF(n + 1);
        G.FWREF(n) = G.FWREF(n + 1);
        G.FWSREF(n) = G.FWSREF(n + 1);
        G.BGREF(n) = G.BGREF(n + 1);
    }
    --G.NUBREF;
}

UbTableRow ub_table_row(int n, bool with_offsets) {
    Angles ang;
    ang(1) = G.TTHREF(n);
    ang(2) = G.OMREF(n);
    ang(3) = G.CHIREF(n);
    ang(4) = G.PHIREF(n);
    Indices h;
    for (int j = 1; j <= 3; ++j) h(j) = G.IHREF(n, j);
    UbTableRow r;
    r.tth_cal = TWOTHETA(h);
    // A reflection measured at negative 2theta is compared on that side.
    if (ang(1) < 0.0) r.tth_cal = -r.tth_cal;
    r.om_ub = ang(2);
    CALOMEGA(ang, h, r.om_ub);
    r.om_calc = r.om_ub;
    if (with_offsets) {
        Arr1<double, 3> aoff;
        CALC_ANGOFF(ang, aoff);
        r.om_off = aoff(2);
        r.om_calc = r.om_ub + r.om_off;
    }
    r.del = ang(2) - r.om_calc;
    return r;
}

}  // namespace tarnivox
