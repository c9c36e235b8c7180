#include "fitting/background.h"

#include <algorithm>
#include <cmath>

#include "core/store.h"

namespace tarnivox {

namespace {

constexpr int NDEG = 90;  // the table covers 2theta up to 90 degrees

int nint(double x) { return static_cast<int>(std::lround(x)); }

// Raw table T(0..91): T(0) = 0 is the background at 2theta = 0 and T(91)
// the continuation past the last degree, so the gap filling has neighbours.
struct RawTable {
    Arr1<double, NDEG + 2> t;
    double& operator()(int j) { return t(j + 1); }
};

}  // namespace

double scan_scale() { return G.SCALE > 0.0 ? G.SCALE : 1.0; }

void SORT(int n, BgPairs& key, BgPairs& other) {
    n = std::min(n, MAXBGSCANS);
    if (n < 2) return;
    const int passes = static_cast<int>(std::log(static_cast<double>(n)) * 1.442695 + 0.00001);
    int g = n;
    for (int pass = 1; pass <= passes; ++pass) {
        g /= 2;
        for (int i = 1; i <= n - g; ++i) {
            for (int j = i; j >= 1 && key(j + g) < key(j); j -= g) {
                std::swap(key(j), key(j + g));
                std::swap(other(j), other(j + g));
            }
        }
    }
}

void SET_BACKGROUND_SPLINE(int n, BgPairs& level, BgPairs& tth, int width) {
    n = std::min(n, MAXBGSCANS);
    if (n < 1) return;
    width = std::abs(width);
    width = (width / 2) * 2 + 1;
    SORT(n, tth, level);

    RawTable t;
    // A scan below 0.5 degrees still belongs to the first degree of the table.
    const int k0 = std::max(nint(std::fabs(tth(1))), 1);
    if (k0 > NDEG) return;  // no scan inside the table
    int k = k0;
    t(k0) = level(1);
    for (int i = 1; i <= n; ++i) {
        const double a = std::fabs(tth(i));
        if (a < k + 0.5) {
            t(k) = std::min(t(k), level(i));
        } else {
            const int kn = nint(a);
            if (kn > NDEG) break;  // the table ends at 90 degrees
            k = kn;
            t(k) = level(i);
        }
    }
    // Degrees above the last stored one carry its level, also when scans
    // beyond the table ended the walk: no background at all would be wrong.
    for (int j = k; j <= NDEG; ++j) t(j) = t(k);
    t(NDEG + 1) = t(NDEG);

    const double slope = t(k0) / k0;
    for (int j = 1; j < k0; ++j) {
        t(j) = j * slope;
        G.BGTAB(j) = t(j);
    }
    for (int j = k0; j <= k; ++j)
        if (t(j) < 0.01) t(j) = (t(j - 1) + t(j + 1)) / 2.0;

    const int h = width / 2;
    for (int j = h + 1; j <= NDEG - h; ++j) {
        double s = 0.0;
        for (int m = j - h; m <= j + h; ++m) s += t(m);
        G.BGTAB(j) = s / width;
    }
}

void SET_BACKGROUND_EXP(int n, BgPairs& level, BgPairs& tth) {
    n = std::min(n, MAXBGSCANS);
    SORT(n, tth, level);
    // The constant is the plateau of the high-angle scans.  Without scans
    // above 45 degrees there is no plateau to measure: the law is then a
    // pure exponential through all levels (c = 0).
    double c = 0.0;
    int nc = 0;
    for (int i = 1; i <= n; ++i) {
        if (tth(i) > 45.0) {
            c += level(i);
            ++nc;
        }
    }
    if (nc > 0) c /= nc;

    double s = 0.0, sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
    for (int i = 1; i <= n; ++i) {
        const double d = level(i) - c;
        if (d > 0.0001) {
            const double yl = std::log(d);
            s += 1.0;
            sx += tth(i);
            sy += yl;
            sxx += tth(i) * tth(i);
            sxy += tth(i) * yl;
        }
    }
    G.BGEXPC = c;
    const double den = s * sxx - sx * sx;
    if (s == 0.0) {
        G.BGEXPA = 1.0;
        G.BGEXPB = 0.1;
    } else if (std::fabs(den) <= 1.0e-12 * std::max(s * sxx, 1.0)) {
        // All qualifying scans at one angle: no slope can be measured, so
        // the law is flat at their mean level.
        G.BGEXPA = std::exp(sy / s);
        G.BGEXPB = 0.0;
    } else {
        G.BGEXPA = std::exp((sxx * sy - sx * sxy) / den);
        G.BGEXPB = -(s * sxy - sx * sy) / den;
    }
}

double GET_BACKGROUND(double tth) {
    G.BGUNBAL = 0;
    const int npts = std::min(G.NPTS, MAXSTEPS);
    switch (G.IBACK) {
        case 1: {
            const double a = std::fabs(tth);
            const int i = static_cast<int>(a);
            const double f = a - i;
            double v;
            if (i < 1) {
                v = f * G.BGTAB(1);  // the table rises from zero at 2theta = 0
            } else if (i >= NDEG) {
                v = G.BGTAB(NDEG);
            } else {
                v = G.BGTAB(i) + f * (G.BGTAB(i + 1) - G.BGTAB(i));
            }
            return v / scan_scale();
        }
        case 2: return (G.BGEXPA * std::exp(-G.BGEXPB * std::fabs(tth)) + G.BGEXPC) / scan_scale();
        case 3: {
            if (npts < 1) return 0.0;
            // At least one end step, and the two ends never overlap.
            const int nb = std::clamp(G.NBACK, 1, std::max(npts / 2, 1));
            double s1 = 0.0, s2 = 0.0;
            for (int i = 1; i <= nb; ++i) {
                s1 += G.COUNTS(i);
                s2 += G.COUNTS(npts - nb + i);
            }
            if (3.0 * std::sqrt(std::max(s1 + s2, 0.0)) > std::fabs(s1 - s2)) return (s1 + s2) / 2.0 / nb;
            G.BGUNBAL = 1;
            return std::min(s1, s2) / nb;
        }
        default:
            if (npts < 1) return 0.0;
            return (G.COUNTS(1) + G.COUNTS(npts)) / 2.0;
    }
}

}  // namespace tarnivox
