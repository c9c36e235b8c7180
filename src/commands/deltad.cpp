#include "commands/deltad.h"

#include <cstddef>

#include "core/store.h"
#include "operations/deltad.h"
#include "ui/dataset_plot.h"

namespace tarnivox {

void RUN_CELLPARAM_DIALOG(int& ICANCEL) { ICANCEL = 0; }

void RUN_DELTAD() {
    int icancel = 0;
    RUN_CELLPARAM_DIALOG(icancel);
    if (icancel == 1) return;
    const DeltaDResult check = delta_d_check();
    DataSetValues x, r;
    const int np = static_cast<int>(check.ratio.size());
    for (int n = 1; n <= np; ++n) {
        x(n) = check.tth[static_cast<std::size_t>(n - 1)];
        r(n) = check.ratio[static_cast<std::size_t>(n - 1)];
    }
    PLOTDATASET(x, r, MAXREFLIST, np);
}

}  // namespace tarnivox
