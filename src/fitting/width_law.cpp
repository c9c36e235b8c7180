#include "fitting/width_law.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarnivox {

int fit_width_law(int n, const Arr1<double, MAXREFLIST>& tth, const Arr1<double, MAXREFLIST>& fwhm,
                  const Arr1<double, MAXREFLIST>& esd, WidthLaw& law) {
    law = WidthLaw{};
    n = std::clamp(n, 0, MAXREFLIST);
    double sw = 0.0, st = 0.0, sy = 0.0, stt = 0.0, sty = 0.0;
    int used = 0;
    for (int i = 1; i <= n; ++i) {
        const double sigma = esd(i);
        // A width from a failed fit carries no information either.
        if (!(sigma > WIDTH_ESD_MIN) || !std::isfinite(sigma) || !std::isfinite(fwhm(i))) continue;
        // theta from 2theta, in radians; a negative 2theta counts with |theta|.
        const double t = std::tan(std::fabs(tth(i)) * std::numbers::pi / 360.0);
        const double w = 1.0 / (sigma * sigma);
        const double y = fwhm(i);
        sw += w;
        st += w * t;
        sy += w * y;
        stt += w * t * t;
        sty += w * t * y;
        ++used;
    }
    if (used == 0) return WIDTH_LAW_NO_ESDS;
    // D vanishes (up to rounding) when every tan theta is the same: the
    // widths then fix no slope.
    const double d = sw * stt - st * st;
    WidthLaw fit;
    fit.used = used;
    if (d > 1.0e-10 * sw * stt) {
        fit.a = (stt * sy - st * sty) / d;
        fit.b = (sw * sty - st * sy) / d;
        fit.esd_a = std::sqrt(stt / d);
        fit.esd_b = std::sqrt(sw / d);
    }
    if (!(d > 1.0e-10 * sw * stt) || !std::isfinite(fit.a) || !std::isfinite(fit.b) ||
        !std::isfinite(fit.esd_a) || !std::isfinite(fit.esd_b)) {
        law.used = used;
        return WIDTH_LAW_ONE_ANGLE;
    }
    law = fit;
    return WIDTH_LAW_OK;
}

}  // namespace tarnivox
