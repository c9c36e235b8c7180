#include "commands/deltad.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/store.h"
#include "io/layout.h"
#include "io/units.h"
#include "refine/delta_d.h"
#include "refine/geometry.h"
#include "ui/dataset_plot.h"

namespace tarnivox {
namespace {

constexpr std::string_view D1 =
    "(/,/,'    RESULTS OF DELTA-D/D CALCULATION',/,'   H   K   L  2TH(OBS) 2TH(cal) DELTAD/D')";
constexpr std::string_view D2 = "(3I4,2F9.4,F10.6)";
// A reflection without a d-spacing (a 2theta of 0) has no delta-d/d.
constexpr std::string_view D2_NO_D = "(3I4,2F9.4)";
// D3 is "(/,'   MINIMUM VALUE OF DELTA-D/D = ',F10.6,/, ... AVERAGE ...,F10.6,/,/)";
// its F10.6 values are written whole, since the empty list reports the
// start values 1000 and -1000, one and two columns wider than F10.6.
constexpr std::string_view D3 =
    "(/,'   MINIMUM VALUE OF DELTA-D/D = ',A,/,'   MAXIMUM VALUE OF DELTA-D/D = ',A,/,"
    "'   AVERAGE VALUE OF DELTA-D/D = ',A,/,/)";

std::string f10_6(double v) { return format_fixed_whole(v, 10, 6); }

}  // namespace

void RUN_CELLPARAM_DIALOG(int& ICANCEL) { ICANCEL = 0; }

void RUN_DELTAD() {
    int icancel = 0;
    RUN_CELLPARAM_DIALOG(icancel);
    if (icancel == 1) return;
    const bool log = G.LOGOPEN == 1;
    if (log) write_record(LU_LOG, D1);
    DeltaDSummary summary;
    DataSetValues x, r;
    int np = 0;
    const int nref = std::clamp(G.NUBREF, 0, MAXREFLIST);
    for (int n = 1; n <= nref; ++n) {
        const Indices ih{{G.IHREF(n, 1), G.IHREF(n, 2), G.IHREF(n, 3)}};
        const double tobs = G.TTHREF(n);
        const double tcal = TWOTHETA(ih);
        double rn = 0.0;
        const bool has_d = delta_d_over_d(tobs, tcal, G.WAVE1, rn);
        if (has_d) {
            ++np;
            r(np) = rn;
            x(np) = std::fabs(tobs);
            summary.add(rn);
        }
        if (log) {
            if (has_d)
                write_record(LU_LOG, D2, {ih(1), ih(2), ih(3), tobs, tcal, rn});
            else
                write_record(LU_LOG, D2_NO_D, {ih(1), ih(2), ih(3), tobs, tcal});
        }
    }
    if (log) write_record(LU_LOG, D3, {f10_6(summary.min), f10_6(summary.max), f10_6(summary.average())});
    PLOTDATASET(x, r, MAXREFLIST, np);
}

}  // namespace tarnivox
