#include "refine/blaxes.h"

#include <cstdlib>

#include "core/store.h"

namespace tarnivox {

int UB_TO_BLAXES(const Arr1<int, 3>& BLAXES, Arr2<double, 3, 3>& UB) {
    // The parameter file checks only that |BLAXES| sums to 6, which lets
    // 1, 1, 4 through; such a value has no row to go to.
    bool used[4] = {false, false, false, false};
    for (int i = 1; i <= 3; ++i) {
        const int r = std::abs(BLAXES(i));
        if (r < 1 || r > 3 || used[r]) return 1;
        used[r] = true;
    }
    Arr2<double, 3, 3> moved;
    for (int i = 1; i <= 3; ++i) {
        const int r = std::abs(BLAXES(i));
        const double sign = BLAXES(i) < 0 ? -1.0 : 1.0;
        for (int j = 1; j <= 3; ++j) moved(r, j) = sign * UB(i, j);
    }
    UB = moved;
    return 0;
}

int UB_TO_BLAXES() { return UB_TO_BLAXES(G.BLAXES, G.UB); }

}  // namespace tarnivox
