#include "batch_figures.h"

#include <cmath>

#include "core/store.h"
#include "io/layout.h"
#include "io/units.h"
#include "output/intensity_rescale.h"
#include "output/value_esd.h"

namespace tarnivox {

namespace {

constexpr const char* DECAY_LOG_LAYOUT =
    "(/,8X,'DECAY CORRECTION FROM THE STANDARDS',/,8X,'DECAY OVER THE RUN ',F8.2,' %  ESD ',F6.2,' %',"
    "/,8X,I6,' REFLECTIONS: I AND SIGMA SCALED BY ',F7.4,' TO ',F7.4,/,8X,'FILE: ',A)";
constexpr const char* DECAY_DROPPED_LAYOUT =
    "(8X,I6,' REFLECTIONS NO LONGER FIT THEIR RECORD AND WERE LEFT OUT')";

}  // namespace

DecayCorrection correct_decay(const std::string& path, IntensityForm form,
                              const std::vector<ReflectionOutcome>& outcomes,
                              const report::StandardsAnalysis& standards) {
    DecayCorrection d;
    const report::DecayFit& fit = standards.overall;
    if (standards.standards.empty()) {
        d.failure = "--decay-correct: no standard reflection was fitted; " + path + " is left uncorrected";
        return d;
    }
    if (!fit.ok) {
        d.failure = "--decay-correct: the standards give no decay (each needs two measurements or more); " + path +
                    " is left uncorrected";
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
    const RescaleResult r = rescale_intensity_file(path, intensity_format_code(form), written, factor);
    if (r.status != 0) {
        d.failure = "--decay-correct: " + r.failure + "; " + path + " is left uncorrected";
        return d;
    }
    d.done = true;
    d.factor_min = r.factor_min;
    d.factor_max = r.factor_max;
    d.rescaled = r.rescaled;
    d.dropped = r.dropped;
    if (G.LOGOPEN == 1) {
        write_record(LU_LOG, DECAY_LOG_LAYOUT,
                     {d.decay_pct, d.esd_pct, d.rescaled, d.factor_min, d.factor_max, path});
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
