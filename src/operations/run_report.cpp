#include "operations/run_report.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include "core/store.h"
#include "core/version.h"
#include "output/value_esd.h"

namespace tarnivox {
namespace {

// A refined value with the value(esd) text the log and the CIF print; no
// esd (none refined, or a cell without redundancy): the value alone.
report::ValueEsd value_esd(double value, double esd) {
    report::ValueEsd v;
    v.value = value;
    v.esd = esd;
    double rounded = value;
    FORMAT_VALUE(rounded, std::isfinite(esd) ? esd : 0.0, v.text);
    const std::size_t first = v.text.find_first_not_of(' ');
    v.text = first == std::string::npos ? std::string() : v.text.substr(first, v.text.find_last_not_of(' ') - first + 1);
    return v;
}

report::Outcome outcome_for_report(const ReflectionOutcome& o) {
    if (o.recovered) return report::Outcome::Recovered;
    if (o.summation) return report::Outcome::Summation;
    if (o.status == 'R' || o.left_out) return report::Outcome::Rejected;
    return report::Outcome::Passed;
}

}  // namespace

report::ReportInput report_input(const RunReportRequest& request, const ReductionResult& fit,
                                 const RefineCellResult& refined, const FwhmLawResult& law) {
    report::ReportInput in;
    {
        const std::string title(G.TITLE.str());
        const std::size_t a = title.find_first_not_of(' ');
        in.title = a == std::string::npos ? std::string() : title.substr(a, title.find_last_not_of(' ') - a + 1);
    }
    if (G.NREFREAD >= 0) in.n_left_out = G.NREFBAD;
    in.data_file = request.data_file;
    in.format = request.format;
    in.version = std::string(TARNIVOX_VERSION);
    in.wave1 = G.WAVE1 > 0.0 ? G.WAVE1 : report::NONE;
    in.wave2 = G.NWAVE > 1 && G.WAVE2 > 0.0 ? G.WAVE2 : report::NONE;
    in.elapsed_s = request.elapsed_s;
    in.n_read = request.read;
    in.n_fitted = fit.counts.fitted;
    in.have_cell = G.CELL(1) > 0.0 && G.CELL(2) > 0.0 && G.CELL(3) > 0.0;
    if (in.have_cell)
        for (int k = 1; k <= 6; ++k)
            in.cell[static_cast<std::size_t>(k - 1)] =
                value_esd(G.CELL(k), G.CELLNOESD == 1 ? report::NONE : G.CELLESD(k));
    if (refined.omega_zero_refined) in.omega_zero = value_esd(refined.omega_zero, refined.omega_zero_esd);
    if (refined.offsets_refined)
        for (std::size_t k = 0; k < 3; ++k) in.offsets[k] = value_esd(refined.offsets[k], refined.offsets_esd[k]);
    // The law the weak-profile run learned, else the one of the fit controls.
    const double a = law.found ? law.a : G.FWHMA, b = law.found ? law.b : G.FWHMB;
    if (a != 0.0 || b != 0.0) {
        in.fwhm_a = a;
        in.fwhm_b = b;
    }
    in.options = request.options;
    in.laue = request.laue;
    in.decay_correct = request.decay_correct;
    for (const ReflectionOutcome& o : fit.outcomes) {
        report::ReportReflection r;
        r.seq = o.sequence;
        r.hkl = o.hkl;
        r.cls = o.class_letter;
        r.standard = o.standard;
        r.tth = o.two_theta;
        r.outcome = outcome_for_report(o);
        // A fit written from the summation was rejected all the same: its
        // letter says why.
        if (r.outcome == report::Outcome::Rejected || r.outcome == report::Outcome::Summation) r.reason = o.reason;
        r.i = o.intensity;
        r.sigma = o.sigma;
        // A reflection written from the summation has no fitted profile.
        if (!o.summation) {
            r.fwhm = o.fwhm;
            r.eta = o.eta;
            r.rwp = o.rwp;
        }
        in.refl.push_back(r);
    }
    return in;
}

CifFigures cif_figures(const report::ReportFigures& f) {
    CifFigures c;
    const report::DecayFit& d = f.standards.overall;
    if (d.ok) {
        c.decay_pct = d.decay_pct;
        c.decay_esd_pct = d.esd_pct;
    }
    // Reflections measured between two measurements of the standards (a
    // group of standards measured one after the other counts as one): the
    // most common gap.
    std::vector<int> seqs;
    for (const auto& st : f.standards.standards)
        for (double q : st.seq) seqs.push_back(static_cast<int>(q));
    std::sort(seqs.begin(), seqs.end());
    std::map<int, int> gaps;
    for (std::size_t j = 1; j < seqs.size(); ++j)
        if (seqs[j] - seqs[j - 1] > 1) ++gaps[seqs[j] - seqs[j - 1] - 1];
    int seen = 0;
    for (const auto& [gap, n] : gaps)
        if (n > seen) {
            c.standards_interval = gap;
            seen = n;
        }
    const report::Limits& lim = f.limits;
    if (lim.n_measured > 0) {
        c.theta_min = lim.theta_min;
        c.theta_max = lim.theta_max;
        c.index_min = lim.index_min;
        c.index_max = lim.index_max;
        c.n_total = lim.n_measured;
        c.n_gt = lim.n_gt;
    }
    if (f.merging.ok) {
        c.r_equivalents = f.merging.rint;
        c.sigma_over_net = f.merging.rsigma;
        c.n_total = f.merging.n_unique;
        c.n_gt = f.merging.n_gt;
    }
    return c;
}

RefineCellResult refinement_in_store() {
    RefineCellResult r;
    r.refined = G.UBFLAG == 1;
    // The refinement zeroes the esd of what it did not refine.
    r.omega_zero_refined = G.OMZESD > 0.0;
    r.omega_zero = G.OMZERO;
    r.omega_zero_esd = G.OMZESD;
    for (int k = 1; k <= 3; ++k) {
        r.offsets[static_cast<std::size_t>(k - 1)] = G.XTALOFF(k);
        r.offsets_esd[static_cast<std::size_t>(k - 1)] = G.XOFFESD(k);
        if (G.XOFFESD(k) > 0.0) r.offsets_refined = true;
    }
    return r;
}

std::string report_path_beside(const std::string& data_path) {
    const std::filesystem::path p(data_path);
    std::string name = p.filename().string();
    const std::size_t dot = name.find('.');
    if (dot != std::string::npos) name.resize(dot);
    return (p.parent_path() / (name + "_report.html")).string();
}

report::ReportOutcome write_run_report(const RunReportRequest& request, const ReductionResult& fit,
                                       const RefineCellResult& refined, const FwhmLawResult& law) {
    return report::write_report(report_input(request, fit, refined, law), request.html, request.plots);
}

}  // namespace tarnivox
