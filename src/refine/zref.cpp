#include "refine/zref.h"

#include <cmath>

#include "core/angles.h"
#include "refine/offsets.h"

namespace tarnivox {
namespace {

// Readings beyond this many degrees are no circle position.
constexpr double LARGEST_READING = 1.0e5;

// Signs of the eight settings relative to setting 1.
constexpr int TTH_SIGNS[8] = {1, -1, -1, 1, 1, -1, -1, 1};
constexpr int OMEGA_SIGNS[8] = {1, 1, -1, -1, -1, -1, 1, 1};
// Chi branch of each setting: chi itself (+) or 180 - chi and -chi (-).
constexpr int CHI_BRANCH[8] = {1, 1, 1, 1, -1, -1, -1, -1};
// Combinations in which the true angles and zeros cancel and one offset
// effect remains: a1, a2 of chi, b1, b2 of the omega circle.
constexpr int A1_SIGNS[8] = {-1, 1, 1, -1, -1, 1, 1, -1};
constexpr int A2_SIGNS[8] = {1, -1, 1, -1, -1, 1, -1, 1};
constexpr int B1_SIGNS[8] = {1, 1, -1, -1, 1, 1, -1, -1};
constexpr int B2_SIGNS[8] = {1, -1, -1, 1, -1, 1, 1, -1};

double sign_of(double x) { return x < 0.0 ? -1.0 : 1.0; }

double combination(const int (&signs)[8], const double (&v)[8]) {
    double s = 0.0;
    for (int k = 0; k < 8; ++k) s += signs[k] * v[k];
    return s;
}

bool readable_settings(const ZrefSettings& A) {
    for (int k = 1; k <= ZREF_SETTINGS; ++k)
        for (int j = 1; j <= 4; ++j)
            if (!std::isfinite(A(k, j)) || std::fabs(A(k, j)) > LARGEST_READING) return false;
    return true;
}

int check_patterns(const ZrefSettings& A) {
    // Near the bisecting position the sign of omega says nothing.
    const bool test_omega = std::fabs(A(1, 2)) > 1.0;
    for (int k = 2; k <= ZREF_SETTINGS; ++k) {
        if (sign_of(A(1, 1)) * sign_of(A(k, 1)) != TTH_SIGNS[k - 1]) return ZREF_TTH_PATTERN;
        if (test_omega && sign_of(A(1, 2)) * sign_of(A(k, 2)) != OMEGA_SIGNS[k - 1])
            return ZREF_OMEGA_PATTERN;
    }
    for (int j = 1; j <= 7; j += 2)
        if (std::fabs(A(j, 3) - A(j + 1, 3)) > 5.0) return ZREF_CHI_PAIR;
    return ZREF_OK;
}

// Settings 3, 4 to chi + 180 and settings 5, 6 to 180 - chi, as seen from
// setting 1 (the readings bounded, so these end).
void one_chi_branch(ZrefSettings& A) {
    while (A(3, 3) - A(1, 3) <= 0.0) {
        A(3, 3) += 360.0;
        A(4, 3) += 360.0;
    }
    while (A(5, 3) + A(1, 3) <= 170.0) {
        A(5, 3) += 360.0;
        A(6, 3) += 360.0;
    }
}

}  // namespace

void CALC_OFFSETS(ZrefSettings& A, const Arr1<double, 4>& PF, double D1, double D2, ZrefResults& RES,
                  int& IERR) {
    RES.fill(0.0);
    IERR = ZREF_OK;
    if (!readable_settings(A)) {
        IERR = ZREF_NO_SOLUTION;
        return;
    }
    IERR = check_patterns(A);
    if (IERR != ZREF_OK) return;
    if (D1 == 0.0 || D2 == 0.0) {
        IERR = ZREF_NO_SOLUTION;
        return;
    }
    one_chi_branch(A);

    // The omega circle readings (stored omega is measured from the
    // bisecting position).
    double w[8], c[8];
    double tsum = 0.0, wsum = 0.0, csum = 0.0, cbranch = 0.0;
    for (int k = 0; k < 8; ++k) {
        w[k] = A(k + 1, 1) / 2.0 + A(k + 1, 2);
        c[k] = A(k + 1, 3);
        tsum += A(k + 1, 1);
        wsum += w[k];
        csum += c[k];
        cbranch += CHI_BRANCH[k] * c[k];
    }
    RES(1) = combination(TTH_SIGNS, w) / 4.0;
    RES(2) = combination(OMEGA_SIGNS, w) / 8.0;
    RES(3) = cbranch / 8.0;
    RES(4) = tsum / 8.0;
    RES(5) = wsum / 8.0;
    RES(6) = (csum - 720.0) / 8.0;

    const double th = RES(1) / 2.0 / DEGRAD_OFFSETS, om = RES(2) / DEGRAD_OFFSETS, ch = RES(3) / DEGRAD_OFFSETS;
    const double ph = A(1, 4) / DEGRAD_OFFSETS;
    const double st = PF(1) * std::sin(th), ct = std::cos(th);
    const double so = PF(2) * std::sin(om), co = std::cos(om);
    const double sc = PF(3) * std::sin(ch), cc = std::cos(ch);
    const double sp = PF(4) * std::sin(ph), cp = std::cos(ph);

    const double a1 = PF(3) * combination(A1_SIGNS, c) / 8.0;
    const double a2 = PF(3) * combination(A2_SIGNS, c) / 8.0;
    const double b1 = PF(2) * combination(B1_SIGNS, w) / 8.0;
    const double b2 = PF(2) * combination(B2_SIGNS, w) / 8.0;

    // Offset in the frame of the omega circle: along the diffraction
    // vector, across it in the diffraction plane, along the omega axis.
    const double y[3] = {b1 * D1 / (ct * DEGRAD_OFFSETS), b2 * D1 / (st * DEGRAD_OFFSETS),
                         2.0 * a2 * st / (co * (1.0 / D1 + 1.0 / D2) * DEGRAD_OFFSETS)};
    const Mat3 m = omega_frame_matrix(so, co, sc, cc, sp, cp);
    for (int i = 1; i <= 3; ++i) RES(6 + i) = m(1, i) * y[0] + m(2, i) * y[1] + m(3, i) * y[2];
    RES(10) = -2.0 * D2 * a1 * st / (co * DEGRAD_OFFSETS);

    for (int i = 1; i <= 10; ++i)
        if (!std::isfinite(RES(i))) {
            RES.fill(0.0);
            IERR = ZREF_NO_SOLUTION;
            return;
        }
}

int next_zref_group(const IhTable& IH, int n, int from) {
    if (from < 1) from = 1;
    if (n > IhTable::rows()) n = IhTable::rows();
    auto same_or_opposite = [&](int first, int row) {
        bool same = true, opposite = true;
        for (int j = 1; j <= 3; ++j) {
            same = same && IH(row, j) == IH(first, j);
            opposite = opposite && IH(row, j) == -IH(first, j);
        }
        return same || opposite;
    };
    int first = from, members = 1;
    for (int row = from + 1; row <= n; ++row) {
        if (same_or_opposite(first, row)) {
            if (++members == ZREF_SETTINGS) return first;
        } else {
            first = row;
            members = 1;
        }
    }
    return 0;
}

}  // namespace tarnivox
