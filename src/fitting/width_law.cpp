#include "fitting/width_law.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarnivox {
namespace {

bool has_esd(double fwhm, double esd) {
    // A width from a failed fit carries no information either.
    return esd > WIDTH_ESD_MIN && std::isfinite(esd) && std::isfinite(fwhm);
}

bool reliable(double fwhm, double esd) {
    return has_esd(fwhm, esd) && esd <= WIDTH_REL_ESD_MAX * std::fabs(fwhm);
}

// The weighted straight line through the widths that `take` accepts.
template <class Take>
int fit_line(int n, const Arr1<double, MAXREFLIST>& tth, const Arr1<double, MAXREFLIST>& fwhm,
             const Arr1<double, MAXREFLIST>& esd, Take take, WidthLaw& law) {
    law = WidthLaw{};
    double sw = 0.0, st = 0.0, sy = 0.0, stt = 0.0, sty = 0.0;
    int used = 0;
    for (int i = 1; i <= n; ++i) {
        const double sigma = esd(i);
        if (!take(fwhm(i), sigma)) continue;
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
    fit.fitted = used;
    if (d > 1.0e-10 * sw * stt) {
        fit.a = (stt * sy - st * sty) / d;
        fit.b = (sw * sty - st * sy) / d;
        fit.esd_a = std::sqrt(stt / d);
        fit.esd_b = std::sqrt(sw / d);
    }
    if (!(d > 1.0e-10 * sw * stt) || !std::isfinite(fit.a) || !std::isfinite(fit.b) ||
        !std::isfinite(fit.esd_a) || !std::isfinite(fit.esd_b)) {
        law.fitted = used;
        return WIDTH_LAW_ONE_ANGLE;
    }
    law = fit;
    return WIDTH_LAW_OK;
}

}  // namespace

int fit_width_law(int n, const Arr1<double, MAXREFLIST>& tth, const Arr1<double, MAXREFLIST>& fwhm,
                  const Arr1<double, MAXREFLIST>& esd, WidthLaw& law) {
    n = std::clamp(n, 0, MAXREFLIST);
    int with_esd = 0, good = 0;
    for (int i = 1; i <= n; ++i) {
        with_esd += has_esd(fwhm(i), esd(i)) ? 1 : 0;
        good += reliable(fwhm(i), esd(i)) ? 1 : 0;
    }
    // Three reliable widths at least: two fix any line and leave no check.
    int status = fit_line(n, tth, fwhm, esd, reliable, law);
    if (status != WIDTH_LAW_OK || law.fitted < 3) {
        status = fit_line(n, tth, fwhm, esd, has_esd, law);
        law.all_widths = status == WIDTH_LAW_OK && good < with_esd;
    }
    law.used = with_esd;
    return status;
}

}  // namespace tarnivox
