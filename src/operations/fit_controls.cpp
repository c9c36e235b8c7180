#include "operations/fit_controls.h"

#include "fitting/start_values.h"
#include "operations/scan_walk.h"
#include "params/parameters.h"

namespace tarnivox {

void apply_fit_controls(const FitControls& c) {
    for (int k = 1; k <= 6; ++k) {
        G.IREF(k) = c.IREF(k);
        G.IFIX(k) = c.IFIX(k);
    }
    for (int k = 1; k <= 7; ++k) G.ICHK(k) = c.ICHK(k);
    for (int k = 1; k <= 6; ++k) {
        if (c.ICHK(k) == 1) {
            G.PARLO(k) = c.PARLO(k);
            G.PARHI(k) = c.PARHI(k);
        }
    }
    if (c.ICHK(CHK_RWP) == 1) G.RWPLIM = c.RWPLIM;
    const TypedStartValues typed{c.PAR(P_FWHM), c.PAR(P_ETA), c.PAR(P_IRATIO)};
    set_start_values(&typed);
}

FitControls change_fit_controls(const std::optional<FitControls>& controls, std::optional<int> skip_weak) {
    if (controls) static_cast<FitControls&>(G) = *controls;
    if (skip_weak) G.SKIPWEAK = *skip_weak;
    if (have_reflection()) apply_fit_controls(static_cast<const FitControls&>(G));
    return G;
}

FitControls reset_fit_controls(Messages& messages) {
    MessageRoute route(messages);
    READ_PARAMETERS();
    set_default_start_values();
    return G;
}

}  // namespace tarnivox
