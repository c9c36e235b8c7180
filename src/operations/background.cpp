#include "operations/background.h"

#include <cmath>

#include "core/store.h"
#include "fitting/background.h"
#include "operations/scan_walk.h"

namespace tarnivox {

BackgroundModelResult model_background() {
    static BgPairs level;
    static BgPairs tth;
    int n = 0;
    walk_reflections([&] {
        ++n;
        level(n) = (G.COUNTS(1) + G.COUNTS(G.NPTS)) / 2.0 * scan_scale();
        tth(n) = std::fabs(G.ANGLES(1));
        return n < MAXBGSCANS;
    });
    SET_BACKGROUND_SPLINE(n, level, tth, 3);
    SET_BACKGROUND_EXP(n, level, tth);
    return {n};
}

}  // namespace tarnivox
