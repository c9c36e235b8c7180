#include "fitting/integrate.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/store.h"

namespace tarnivox {

namespace {

double sum_counts(int from, int to) {
    double s = 0.0;
    for (int i = from; i <= to; ++i) s += G.COUNTS(i);
    return s;
}

}  // namespace

void INTEGRATE(int& ierr) {
    ierr = 0;
    for (int i = 1; i <= 3; ++i) {
        int m = i;
        for (int j = i + 1; j <= 4; ++j)
            if (G.LIMS(j) < G.LIMS(m)) m = j;
        std::swap(G.LIMS(i), G.LIMS(m));
    }
    if (G.LIMS(1) < 1 || G.LIMS(4) > G.NPTS) {
        ierr = 1;
        return;
    }
    const double b = sum_counts(G.LIMS(1), G.LIMS(2)) + sum_counts(G.LIMS(3), G.LIMS(4));
    const double p = sum_counts(G.LIMS(2) + 1, G.LIMS(3) - 1);
    const int nb = (G.LIMS(2) - G.LIMS(1) + 1) + (G.LIMS(4) - G.LIMS(3) + 1);
    const int np = G.LIMS(3) - G.LIMS(2) - 1;
    const double ratio = static_cast<double>(np) / nb;
    // Negative counts (possible after scaling) must not put a NaN into the
    // esd written to the intensity file.
    G.INTSIG = std::sqrt(std::max(p + ratio * b, 0.0));
    G.INTI = p - ratio * b;
}

}  // namespace tarnivox
