#include "output/value_esd.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "io/layout.h"

namespace tarnivox {
namespace {

// An esd of 1e-7 or less is taken as exact: the value has no esd to print.
constexpr double EXACT_ESD = 1.0e-7;

// Scaling an esd by ten, decimal by decimal, leaves binary rounding noise
// (0.07 becomes 7.000000000000001): comparisons against the digit limits
// and the rounding up look through noise of this relative size, so that an
// esd of 0.07 prints as (7) and not (8).
constexpr double SCALING_NOISE = 1.0e-9;

double power_of_ten(int n) { return std::pow(10.0, n); }

std::string padded(std::string text) {
    if (text.size() < static_cast<std::size_t>(VALUE_TEXT_LEN))
        text.append(static_cast<std::size_t>(VALUE_TEXT_LEN) - text.size(), ' ');
    return text;
}

bool has_asterisk(const std::string& s) { return s.find('*') != std::string::npos; }

}  // namespace

void ROUND_VALUE(double& V, int N) {
    double r = 0.0;
    if (N >= 0) {
        const double scale = power_of_ten(N);
        r = std::round(V * scale) / scale;
    } else {
        const double scale = power_of_ten(-N);
        r = std::round(V / scale) * scale;
    }
    // Adding 0 turns a -0 left by rounding a small negative value into 0.
    if (std::isfinite(r)) V = r + 0.0;
}

void GET_PLACES(double V, int& N) {
    N = V < 0.0 ? 2 : 1;
    double x = std::fabs(V);
    if (!std::isfinite(x)) return;
    for (;;) {
        x /= 10.0;
        if (!(x >= 1.0)) break;
        ++N;
    }
}

void ROUND_SIGMA(double& S, int& NDP, int& IESD, int& NDIG) {
    NDP = 0;
    NDIG = 1;
    IESD = 0;
    if (!(S > 0.0) || !std::isfinite(S)) return;
    const double one = 1.0 + SCALING_NOISE;
    int n = 0;
    if (S <= one) {
        // n: the decimals of the first significant digit; 1 < S <= 10.
        do {
            ++n;
            S *= 10.0;
        } while (S <= one);
    } else {
        // An esd of more than 10: the first significant digit stands in the
        // tens or a higher place (n below 0).
        while (S > 10.0 * one) {
            --n;
            S /= 10.0;
        }
    }
    if (S <= 1.9 * one) {
        S *= 10.0;
        ++n;
    }
    IESD = static_cast<int>(std::ceil(S * (1.0 - SCALING_NOISE)));
    if (IESD > 9) NDIG = 2;
    S = n >= 0 ? IESD / power_of_ten(n) : IESD * power_of_ten(-n);
    NDP = n;
}

void FORMAT_VALUE(double& VALUE, double ESD, std::string& TEXT) {
    TEXT.assign(static_cast<std::size_t>(VALUE_TEXT_LEN), ' ');
    if (!std::isfinite(VALUE)) return;
    if (!(ESD > EXACT_ESD) || !std::isfinite(ESD)) {
        ROUND_VALUE(VALUE, 4);
        const std::string v = format_fixed_whole(VALUE, 8, 4);
        if (!v.empty()) TEXT = padded(v + "    ");
        return;
    }
    double s = ESD;
    int ndp = 0, iesd = 0, ndig = 1;
    ROUND_SIGMA(s, ndp, iesd, ndig);
    ROUND_VALUE(VALUE, ndp);
    int np = 0;
    GET_PLACES(VALUE, np);
    std::string text;
    if (ndp > 0) {
        // The run-time layout (Fw.NDP,'(',INDIG,')'), w = NP + NDP + 1.
        const std::string layout = "(F" + std::to_string(np + ndp + 1) + "." + std::to_string(ndp) +
                                   ",'(',I" + std::to_string(ndig) + ",')')";
        text = format_record(layout, {VALUE, iesd});
    } else {
        // An esd of 1 or more: the value is a whole number and the esd is
        // given in units, tens, ... as the value's last digit stands.
        if (std::fabs(VALUE) >= 1.0e18 || ndp < -15) return;
        const long long esd_units = static_cast<long long>(iesd) * static_cast<long long>(power_of_ten(-ndp));
        const int esd_digits = ndig - ndp;
        const std::string layout =
            "(I" + std::to_string(np) + ",'(',I" + std::to_string(esd_digits) + ",')')";
        text = format_record(layout, {std::llround(VALUE), esd_units});
    }
    if (!has_asterisk(text)) TEXT = padded(text);
}

}  // namespace tarnivox
