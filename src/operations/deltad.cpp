#include "operations/deltad.h"

#include <algorithm>
#include <cmath>

#include "core/store.h"
#include "output/refinement_records.h"
#include "refine/geometry.h"

namespace tarnivox {

DeltaDResult delta_d_check() {
    DeltaDResult r;
    log_delta_d_heading();
    const int nref = std::clamp(G.NUBREF, 0, MAXREFLIST);
    for (int n = 1; n <= nref; ++n) {
        const Indices ih{{G.IHREF(n, 1), G.IHREF(n, 2), G.IHREF(n, 3)}};
        const double tobs = G.TTHREF(n);
        const double tcal = TWOTHETA(ih);
        double rn = 0.0;
        const bool has_d = delta_d_over_d(tobs, tcal, G.WAVE1, rn);
        if (has_d) {
            r.tth.push_back(std::fabs(tobs));
            r.ratio.push_back(rn);
            r.summary.add(rn);
        }
        log_delta_d_entry(ih, tobs, tcal, has_d ? &rn : nullptr);
    }
    log_delta_d_summary(r.summary.min, r.summary.max, r.summary.average());
    return r;
}

}  // namespace tarnivox
