#include "refine/offsets.h"

#include <cmath>
#include <numbers>

#include "core/angles.h"
#include "core/messages.h"
#include "refine/linear_algebra.h"
#include "refine/shift_lsq.h"
#include "refine/ub_lsq.h"

namespace tarnivox {

namespace {


// Rows 1 and 2 of the rotation from the phi-axis frame to the frame of the
// omega circle (no parity factors: the offset lives in the crystal's frame
// as the angles place it); only these two rows move an omega-scan peak.
struct OmegaFrameRows {
    double m1[3];
    double m2[3];
};

OmegaFrameRows omega_frame_rows(const Angles& ANG) {
    const double w = ANG(2) / DEG_PER_RAD_EXACT, c = ANG(3) / DEG_PER_RAD_EXACT, p = ANG(4) / DEG_PER_RAD_EXACT;
    const Mat3 m =
        omega_frame_matrix(std::sin(w), std::cos(w), std::sin(c), std::cos(c), std::sin(p), std::cos(p));
    return {{m(1, 1), m(1, 2), m(1, 3)}, {m(2, 1), m(2, 2), m(2, 3)}};
}

}  // namespace

Mat3 omega_frame_matrix(double so, double co, double sc, double cc, double sp, double cp) {
    Mat3 m;
    m(1, 1) = co * cc * cp - so * sp;
    m(1, 2) = co * cc * sp + so * cp;
    m(1, 3) = co * sc;
    m(2, 1) = -so * cc * cp - co * sp;
    m(2, 2) = -so * cc * sp + co * cp;
    m(2, 3) = -so * sc;
    m(3, 1) = -sc * cp;
    m(3, 2) = -sc * sp;
    m(3, 3) = cc;
    return m;
}

void CALC_ANGOFF(const Angles& ANG, Arr1<double, 3>& AOFF) {
    AOFF.fill(0.0);
    const auto& x = G.XTALOFF;
    if (std::fabs(x(1)) + std::fabs(x(2)) + std::fabs(x(3)) < 1.0e-5) return;
    // Without a goniometer constant the offset has no angular effect.
    if (G.GONCON1 == 0.0) return;
    const OmegaFrameRows m = omega_frame_rows(ANG);
    double v1 = 0.0, v2 = 0.0;
    for (int k = 0; k < 3; ++k) {
        v1 += m.m1[k] * x(k + 1);
        v2 += m.m2[k] * x(k + 1);
    }
    const double th = 0.5 * ANG(1) / DEG_PER_RAD_EXACT;
    AOFF(1) = (v1 * std::cos(th) + v2 * std::sin(th)) / G.GONCON1 * DEG_PER_RAD_EXACT;
    AOFF(2) = G.OMZERO + AOFF(1);
}

// The complete offsets (and zero point), found together with UB by the
// joint least squares of SHIFT_LSQ.  With UB held at the matrix of the last
// cycle, as the offsets alone would be fitted, UB has already taken up part
// of every shift that resembles a rotation, the cycle converges slowly and
// stops well short of the true values; the joint solution does not.  The
// normal matrix of the shifts alone still decides whether offsets can be
// refined at all.
int GET_XTALSHIFT(int N, const AngTable& ANG, const IhTable& IH, int IZERO, ShiftLsqResult& shift) {
    const int np = IZERO == 1 ? 4 : 3;
    Arr2<double, 4, 4> a;
    bool usable = G.GONCON1 != 0.0 && N >= 1 && N <= MAXREFLIST;
    if (usable) {
        const double f = 1.0 / (G.GONCON1 * std::numbers::pi / 180.0);
        for (int n = 1; n <= N; ++n) {
            const Angles ang = table_angles(ANG, n);
            const OmegaFrameRows m = omega_frame_rows(ang);
            const double th = 0.5 * ang(1) / DEG_PER_RAD_EXACT;
            Arr1<double, 4> d;
            for (int k = 1; k <= 3; ++k) d(k) = (std::cos(th) * m.m1[k - 1] + std::sin(th) * m.m2[k - 1]) * f;
            d(4) = 1.0;
            for (int k = 1; k <= np; ++k)
                for (int l = 1; l <= np; ++l) a(k, l) += d(k) * d(l);
        }
    }
    double det = 0.0;
    if (usable) MINV(a, a, det, np);
    if (!usable || std::fabs(det) < 1.0e-4 || SHIFT_LSQ(N, ANG, IH, IZERO, 1, shift) != 0) {
        report_error("Tarnivox", "SINGULAR MATRIX IN LSQ FOR XTAL OFFSETS");
        return 1;
    }
    const ShiftLsqResult& r = shift;
    G.XTALOFF = r.xtaloff;
    G.XOFFESD = r.xtaloff_esd;
    if (np == 4) {
        G.OMZERO = r.omzero;
        G.OMZESD = r.omzero_esd;
    }
    return 0;
}

ShiftLsqResult LSQ_WITHOFF(int IZERO, int& IERR) {
    IERR = 0;
    ShiftLsqResult shift;
    G.OMZERO = 0.0;
    G.OMZESD = 0.0;
    G.XOFFESD.fill(0.0);
    static AngTable work;
    static IhTable ih;
    refinement_list_tables(work, ih);
    const int n = G.NUBREF;
    double s = 0.0;
    for (int cycle = 1;; ++cycle) {
        const double sprev = s;
        LSQ(n, work, ih, IERR);
        if (IERR != 0) return shift;
        for (int k = 1; k <= n; ++k) work(k, 2) = G.OMREF(k);
        // Offsets that cannot be refined are no refined offsets: the same
        // list gives the same singular system in every cycle.
        if (GET_XTALSHIFT(n, work, ih, IZERO, shift) != 0) {
            IERR = SHIFT_FAILED;
            return shift;
        }
        s = 0.0;
        for (int k = 1; k <= n; ++k) {
            const Angles ang = table_angles(work, k);
            double omc = ang(2);
            CALOMEGA(ang, table_indices(ih, k), omc);
            Arr1<double, 3> aoff;
            CALC_ANGOFF(ang, aoff);
            s += std::fabs(G.OMREF(k) - omc - aoff(2));
            work(k, 2) = G.OMREF(k) - aoff(2);
        }
        if (cycle == 1) continue;
        // Two sums of zero: nothing left to improve.
        const bool converged = sprev == 0.0 ? s == 0.0 : std::fabs(sprev - s) / sprev <= 0.05;
        if (converged) break;
        if (cycle >= 20) {
            report_error("Tarnivox", "WARNING: NO CONVERGENCE AFTER 20 CYCLES IN LSQ_OFFSETS");
            break;
        }
    }
    // The cell esds of the joint fit carry the uncertainty of the offsets.
    cell_esds_of_joint_fit(shift.ub_cov);
    G.UBFLAG = 1;
    return shift;
}

}  // namespace tarnivox
