#include "batch_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/store.h"
#include "io/layout.h"
#include "io/units.h"
#include "output/intensity_rescale.h"
#include "output/value_esd.h"

namespace tarnivox {

namespace {

// The lowest level 1 + c t of the crystal's scattering a linear decay is
// taken to describe: below it the standards have lost four fifths of their
// intensity, the loss is no straight line and the correction (a factor of
// five and more) would only amplify the error of the fit.  The highest
// level is its mirror: standards five times stronger at one end are no
// decay either.
constexpr double LOWEST_DECAY_LEVEL = 0.2;
constexpr double HIGHEST_DECAY_LEVEL = 5.0;

// Why the fitted decay cannot correct the run; empty when it can.  The
// level is linear in the run fraction, so its extremes are at the first
// and the last reflection written.
std::string decay_fit_unusable(const report::DecayFit& fit, const std::vector<ReflectionOutcome>& outcomes,
                               const report::StandardsAnalysis& standards) {
    if (!std::isfinite(fit.slope) || !std::isfinite(fit.decay_pct) || !std::isfinite(fit.esd_pct) ||
        !(fit.esd_pct >= 0.0))
        return "the decay fitted to the standards is no number";
    // An esd of the whole scale says the standards fix no decay at all.
    if (!(fit.esd_pct < 100.0)) return "the decay fitted to the standards has an esd of 100 % or more";
    double t_min = 0.0, t_max = 1.0;
    for (const ReflectionOutcome& o : outcomes) {
        if (o.left_out) continue;
        const double t = report::run_fraction(o.sequence, standards.seq_first, standards.seq_last);
        t_min = std::min(t_min, t);
        t_max = std::max(t_max, t);
    }
    for (const double t : {t_min, t_max}) {
        const double level = 1.0 + fit.slope * t;
        char text[160];
        if (level <= LOWEST_DECAY_LEVEL) {
            std::snprintf(text, sizeof text,
                          "the decay fitted to the standards leaves %.1f %% of the intensity at %.0f %% of the run; "
                          "a linear decay cannot describe such a loss",
                          100.0 * level, 100.0 * t);
            return text;
        }
        if (level >= HIGHEST_DECAY_LEVEL) {
            std::snprintf(text, sizeof text,
                          "the standards fitted rise to %.0f %% of their first intensity; that is no decay",
                          100.0 * level);
            return text;
        }
    }
    return {};
}

constexpr const char* DECAY_LOG_LAYOUT =
    "(/,8X,'DECAY CORRECTION FROM THE STANDARDS',/,8X,'DECAY OVER THE RUN ',F8.2,' %  ESD ',F6.2,' %',"
    "/,8X,I6,' REFLECTIONS: I AND SIGMA SCALED BY ',F7.4,' TO ',F7.4,/,8X,'FILE: ',A)";
constexpr const char* DECAY_DROPPED_LAYOUT =
    "(8X,I6,' REFLECTIONS NO LONGER FIT THEIR RECORD AND WERE LEFT OUT')";

}  // namespace

DecayCorrection correct_decay(const std::string& source, const std::string& target, IntensityForm form,
                              const std::vector<ReflectionOutcome>& outcomes,
                              const report::StandardsAnalysis& standards) {
    DecayCorrection d;
    const report::DecayFit& fit = standards.overall;
    const std::string kept = "; " + target + " is left as it was";
    if (standards.standards.empty()) {
        d.failure = "--decay-correct: no standard reflection was fitted" + kept;
        return d;
    }
    if (!fit.ok) {
        d.failure = "--decay-correct: the standards give no decay (each needs two measurements or more)" + kept;
        return d;
    }
    if (std::string why = decay_fit_unusable(fit, outcomes, standards); !why.empty()) {
        d.failure = "--decay-correct: " + why + kept;
        return d;
    }
    d.decay_pct = fit.decay_pct;
    d.esd_pct = fit.esd_pct;
    d.flagged = fit.flagged;
    std::vector<WrittenReflection> written;
    for (const ReflectionOutcome& o : outcomes)
        if (!o.left_out) written.push_back({o.sequence, o.hkl, o.intensity});
    const auto factor = [&](int seq) {
        return report::decay_factor(fit, report::run_fraction(seq, standards.seq_first, standards.seq_last));
    };
    const RescaleResult r = rescale_intensity_file(source, intensity_format_code(form), written, factor, target);
    if (r.status != 0) {
        d.failure = "--decay-correct: " + r.failure + kept;
        return d;
    }
    d.done = true;
    d.factor_min = r.factor_min;
    d.factor_max = r.factor_max;
    d.rescaled = r.rescaled;
    d.dropped = r.dropped;
    if (G.LOGOPEN == 1) {
        write_record(LU_LOG, DECAY_LOG_LAYOUT,
                     {d.decay_pct, d.esd_pct, d.rescaled, d.factor_min, d.factor_max, target});
        if (!d.dropped.empty()) write_record(LU_LOG, DECAY_DROPPED_LAYOUT, {static_cast<int>(d.dropped.size())});
    }
    return d;
}

std::string decay_correction_notice(const DecayCorrection& d, const std::string& path) {
    double value = d.decay_pct;
    std::string text;
    FORMAT_VALUE(value, d.esd_pct, text);
    const std::size_t a = text.find_first_not_of(' ');
    text = a == std::string::npos ? std::string("?") : text.substr(a, text.find_last_not_of(' ') - a + 1);
    return "Decay of " + text + " % over the run corrected: I and sigma of " + std::to_string(d.rescaled) +
           " reflections scaled by " + format_fixed(d.factor_min, 6, 4) + " to " + format_fixed(d.factor_max, 6, 4) +
           " in " + path;
}

}  // namespace tarnivox
