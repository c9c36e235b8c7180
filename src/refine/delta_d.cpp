#include "refine/delta_d.h"

#include <cmath>

#include "refine/geometry.h"

namespace tarnivox {
namespace {

// d-spacing of a reflection at 2theta (degrees); 0 when it has none.
double d_spacing(double tth, double wave) {
    const double s = std::fabs(2.0 * std::sin(tth / 2.0 / DEGRAD));
    if (!(s > 0.0) || !std::isfinite(s)) return 0.0;
    return wave / s;
}

}  // namespace

bool delta_d_over_d(double tth_obs, double tth_cal, double wave, double& r) {
    if (!(wave > 0.0) || !std::isfinite(wave)) return false;
    const double d_obs = d_spacing(tth_obs, wave);
    const double d_cal = d_spacing(tth_cal, wave);
    if (d_obs == 0.0 || d_cal == 0.0) return false;
    const double v = d_obs / d_cal - 1.0;
    if (!std::isfinite(v)) return false;
    r = v;
    return true;
}

void DeltaDSummary::add(double r) {
    if (r > max) max = r;
    if (r < min) min = r;
    sum += r;
    ++n;
}

double DeltaDSummary::average() const { return n > 0 ? sum / n : 0.0; }

}  // namespace tarnivox
