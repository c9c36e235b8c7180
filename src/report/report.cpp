#include "report/report.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "io/units.h"

namespace tarnivox::report {

namespace {

std::string fmt(double v, int decimals) {
    if (!std::isfinite(v)) return "&ndash;";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

// Four significant digits, for figures whose size is not known in advance.
std::string sig4(double v) {
    if (!std::isfinite(v)) return "&ndash;";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4g", v);
    return buf;
}

std::string value_esd(const ValueEsd& v, int decimals) {
    if (!v.text.empty()) return xml_escape(v.text);
    if (!std::isfinite(v.value)) return "&ndash;";
    if (!std::isfinite(v.esd) || v.esd <= 0.0) return fmt(v.value, decimals);
    return fmt(v.value, decimals) + " &plusmn; " + fmt(v.esd, decimals);
}

std::string hkl_text(const std::array<int, 3>& h) {
    return std::to_string(h[0]) + " " + std::to_string(h[1]) + " " + std::to_string(h[2]);
}

std::string rejection_name(char c) {
    return std::string("rejected ") + (c == ' ' ? std::string("(no letter)") : std::string(1, c));
}

Series line_of(const std::string& name, const std::vector<double>& x, double a, double b,
               const std::string& color) {
    Series s;
    s.name = name;
    s.style = Series::Style::Line;
    s.color = color;
    if (x.empty()) return s;
    double lo = x.front(), hi = x.front();
    for (double v : x) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    for (int k = 0; k <= 20; ++k) {
        const double xv = lo + (hi - lo) * k / 20.0;
        s.x.push_back(xv);
        s.y.push_back(a + b * xv);
    }
    return s;
}

Plot standards_plot(const std::string& id, const std::string& title, const StandardsAnalysis& sa) {
    Plot p;
    p.id = id;
    p.title = title;
    p.xlabel = "Reflection sequence number";
    p.ylabel = "I / I(start of run) of each standard";
    for (const auto& s : sa.standards) {
        // Relative to the standard's own start level, so that standards of
        // any strength share the axis.
        const double a = s.fit.ok ? s.fit.scales.at(0) : (s.i.empty() ? NONE : s.i.front());
        Series ser;
        ser.name = "standard " + std::to_string(s.number) + " (" + hkl_text(s.hkl) + ")";
        ser.style = Series::Style::ErrorBars;
        for (std::size_t j = 0; j < s.i.size(); ++j) {
            ser.x.push_back(s.seq[j]);
            ser.y.push_back(s.i[j] / a);
            ser.err.push_back(s.sigma[j] / a);
            ser.tips.push_back(hkl_text(s.hkl) + ", reflection " + std::to_string(static_cast<int>(s.seq[j])));
        }
        p.series.push_back(ser);
    }
    if (sa.overall.ok) {
        Series fit;
        fit.name = "overall decay fit";
        fit.style = Series::Style::Line;
        fit.color = "#000000";
        for (int k = 0; k <= 20; ++k) {
            const double t = k / 20.0;
            fit.x.push_back(sa.seq_first + t * (sa.seq_last - sa.seq_first));
            fit.y.push_back(1.0 + sa.overall.slope * t);
        }
        p.series.push_back(fit);
    }
    return p;
}

Plot histogram_plot(const std::string& id, const std::string& title, const std::string& xlabel,
                    const Histogram& h) {
    Plot p;
    p.id = id;
    p.title = title;
    p.xlabel = xlabel;
    p.ylabel = "Number of reflections";
    p.xcats = h.labels;
    p.y_from_zero = true;
    Series s;
    s.style = Series::Style::Bars;
    for (std::size_t k = 0; k < h.counts.size(); ++k) {
        s.x.push_back(static_cast<double>(k));
        s.y.push_back(h.counts[k]);
    }
    p.series.push_back(s);
    return p;
}

std::string decay_text(const DecayFit& f) {
    if (!f.ok) return "not determined";
    return fmt(f.decay_pct, 2) + " &plusmn; " + fmt(f.esd_pct, 2) + " %";
}

// What each rejection letter of the fit means, for the letters the run
// gave (all of them when it gave none, so the page always explains them).
std::string rejection_letters(const std::map<char, int>& given) {
    static const std::pair<char, const char*> letters[] = {
        {'E', "error in the least squares (singular matrix, failed refit, or a parameter without a finite esd)"},
        {'C', "no convergence of the least squares within its cycles"},
        {'D', "data error: the scan's data cannot be fitted"},
        {'B', "background outside its limits"},
        {'I', "refined intensity below its limit (negative)"},
        {'P', "peak position outside its window"},
        {'W', "width (FWHM) of the test fit outside its limits"},
        {'R', "alpha1/alpha2 ratio of the test fit outside its limits"},
        {'F', "Rwp above its limit (the reflection is still integrated)"},
        {'S', "eta (Lorentzian fraction) outside its limits"},
    };
    std::string h = "<p class=\"note\">Rejection letters of the profile fit";
    h += given.empty() ? " (none in this run):</p>\n" : " in this run:</p>\n";
    h += "<dl class=\"letters\">\n";
    for (const auto& [c, text] : letters) {
        const auto it = given.find(c);
        if (!given.empty() && it == given.end()) continue;
        h += std::string("<dt>") + c + "</dt><dd>" + text +
             (it != given.end() ? " &mdash; " + std::to_string(it->second) : std::string()) + "</dd>\n";
    }
    return h + "</dl>\n";
}

// The volume of a cell, Angstrom^3; NONE when the cell is not whole.
double cell_volume(const ReportInput& in) {
    if (!in.have_cell) return NONE;
    const double rad = 3.14159265358979323846 / 180.0;
    const double ca = std::cos(in.cell[3].value * rad), cb = std::cos(in.cell[4].value * rad),
                 cg = std::cos(in.cell[5].value * rad);
    const double q = 1.0 - ca * ca - cb * cb - cg * cg + 2.0 * ca * cb * cg;
    if (!(q > 0.0)) return NONE;
    return in.cell[0].value * in.cell[1].value * in.cell[2].value * std::sqrt(q);
}

using Level = Verdict::Level;

// Green at or above `good`, amber at or above `fair`, red below (or the
// reverse with `lower_is_better`).
Level judge(double v, double good, double fair, bool lower_is_better) {
    if (!std::isfinite(v)) return Level::None;
    if (lower_is_better) return v <= good ? Level::Good : v <= fair ? Level::Doubtful : Level::Bad;
    return v >= good ? Level::Good : v >= fair ? Level::Doubtful : Level::Bad;
}

}  // namespace

std::vector<Verdict> verdicts(const ReportInput& in, const ReportFigures& fig) {
    std::vector<Verdict> out;
    auto add = [&out](std::string name, std::string value, std::string threshold, Level level,
                      std::string doubtful, std::string bad) {
        Verdict v{std::move(name), std::move(value), std::move(threshold), level, {}};
        if (level == Level::Doubtful) v.reason = std::move(doubtful);
        if (level == Level::Bad) v.reason = std::move(bad);
        out.push_back(std::move(v));
    };
    const MergeStats& m = fig.merging;
    const std::string no_merge =
        m.ok ? std::string() : "no merging: " + xml_escape(m.message) + " (give --laue or --space-group)";
    // Equivalents that scatter as their esds say (R(int) not much above
    // R(sigma)) make a high R(int) a matter of weak data, not of symmetry.
    const bool as_esds = m.ok && std::isfinite(m.rsigma) && m.rint <= 1.5 * m.rsigma;
    add("R(int)", m.ok ? fmt(m.rint, 4) : no_merge, "green &le; 0.05, amber &le; 0.10",
        m.ok ? judge(m.rint, 0.05, 0.10, true) : Level::None,
        as_esds ? "equivalents scatter as their esds allow: the data are weak (see R(&sigma;))"
                : "equivalents agree less well than their esds allow: absorption, decay or a Laue class too high",
        as_esds ? "equivalents scatter as their esds allow: the data are very weak (see R(&sigma;))"
                : "equivalents disagree: a wrong Laue class or cell, strong absorption or a damaged crystal");
    add("R(&sigma;)", m.ok ? fmt(m.rsigma, 4) : no_merge, "green &le; 0.05, amber &le; 0.15",
        m.ok ? judge(m.rsigma, 0.05, 0.15, true) : Level::None, "many reflections are weak",
        "most reflections are weak: a small crystal, short counting times, or a resolution beyond the diffraction");
    std::string comp = m.ok ? "unknown: no cell" : no_merge;
    if (m.ok && std::isfinite(m.completeness))
        comp = fmt(m.completeness, 1) + " % to d = " + fmt(m.d_min, 3) + " &Aring; (" + std::to_string(m.n_possible) +
               " unique possible" + (m.space_group ? ", absences left out" : "") + ")";
    add("Completeness", comp, "green &ge; 98 %, amber &ge; 90 %",
        m.ok ? judge(m.completeness, 98.0, 90.0, false) : Level::None,
        "some unique reflections to the resolution reached were not measured",
        "a large part of reciprocal space to the resolution reached is missing (or the Laue class is too low)");

    double sum_ios = 0.0;
    int n_ios = 0;
    for (const ReportReflection* r : measured_once(in.refl))
        if (is_accepted(*r) && r->sigma > 0.0) {
            sum_ios += r->i / r->sigma;
            ++n_ios;
        }
    const double ios = n_ios > 0 ? sum_ios / n_ios : NONE;
    add("Mean I/&sigma;(I)", fmt(ios, 1), "green &ge; 10, amber &ge; 5", judge(ios, 10.0, 5.0, false),
        "the data are weak on average", "the data are very weak on average: consider --weak-profile");
    if (!fig.shells.empty()) {
        const Shell& last = fig.shells.back();
        add("Mean I/&sigma;(I), last shell",
            fmt(last.mean_i_over_sigma, 2) + " (d " + fmt(last.d_max, 2) + "&ndash;" + fmt(last.d_min, 2) + " &Aring;)",
            "green &ge; 2, amber &ge; 1", judge(last.mean_i_over_sigma, 2.0, 1.0, false),
            "the outer shell is weak: the data reach about as far as the crystal diffracts",
            "the outer shell is mostly noise: the scan went beyond the diffraction of the crystal");
    } else {
        add("Mean I/&sigma;(I), last shell", "&ndash;", "green &ge; 2, amber &ge; 1", Level::None, "", "");
    }

    const DecayFit& d = fig.standards.overall;
    if (d.ok) {
        Level level = !d.flagged ? Level::Good : std::fabs(d.decay_pct) <= 10.0 ? Level::Doubtful : Level::Bad;
        // Standards that disagree with one line beyond their esds (one
        // saturated, attenuated or off centre) make the overall figure
        // doubtful however small it is.
        const bool disagree = d.gof > 3.0;
        if (disagree && level == Level::Good) level = Level::Doubtful;
        const std::string fix = fig.decay_corrected ? "; the intensities were corrected for it"
                                                    : "; --decay-correct corrects the intensities for it";
        add("Decay of the standards", decay_text(d), "green within 3 esd of 0 (GOF &le; 3), amber up to 10 %", level,
            disagree && !d.flagged
                ? "the standards disagree with one common line (GOF " + fmt(d.gof, 1) +
                      "): look at each standard below"
                : "the standards changed significantly over the run" + fix,
            std::string(d.decay_pct > 0.0 ? "the standards lost" : "the standards gained") +
                " much of their intensity over the run" + fix);
    } else {
        add("Decay of the standards",
            fig.standards.standards.empty() ? "no standards measured" : "not determined (each standard needs two measurements)",
            "green within 3 esd of 0, amber up to 10 %", Level::None, "", "");
    }

    const WilsonFit& wf = fig.wilson;
    const double b_hi = wf.unit_scattering ? 15.0 : 8.0, b_bad = wf.unit_scattering ? 25.0 : 15.0;
    Level wl = Level::None;
    if (wf.ok) {
        const bool negative = wf.b < 0.0 && wf.b < -3.0 * wf.b_esd;
        wl = negative ? Level::Bad
             : wf.b < 0.0 ? Level::Doubtful
             : judge(wf.b, b_hi, b_bad, true);
    }
    add("Wilson B",
        wf.ok ? fmt(wf.b, 2) + " &plusmn; " + fmt(wf.b_esd, 2) + " &Aring;<sup>2</sup>" +
                    (wf.unit_scattering ? " (unit scattering)" : "")
              : xml_escape(wf.message),
        "green 0 to " + fmt(b_hi, 0) + " &Aring;<sup>2</sup>, amber to " + fmt(b_bad, 0), wl,
        wf.b < 0.0 ? "B slightly below 0: intensities barely fall with resolution"
                   : "intensities fall steeply with resolution: high thermal motion or disorder",
        wf.b < 0.0 ? "B below 0 beyond 3 esd: intensities rise with resolution, which no crystal does (a wrong "
                     "cell or scale, many rejected strong fits, or too few reflections)"
                   : "intensities fall very steeply with resolution");

    int n_once = 0, n_rejected = 0, n_summation = 0, n_omitted = 0;
    for (const ReportReflection* r : measured_once(in.refl)) {
        ++n_once;
        if (!fit_rejected(*r)) continue;
        ++n_rejected;
        if (r->outcome == Outcome::Summation) ++n_summation;
        if (r->outcome == Outcome::Rejected) ++n_omitted;
    }
    const double pct_rej = n_once > 0 ? 100.0 * n_rejected / n_once : NONE;
    add("Rejected fits",
        fmt(pct_rej, 1) + " % (" + std::to_string(n_rejected) + " of " + std::to_string(n_once) + "; " +
            std::to_string(n_summation) + " written from summation, " + std::to_string(n_omitted) + " left out)",
        "green &le; 5 %, amber &le; 15 %", judge(pct_rej, 5.0, 15.0, true),
        "a noticeable share of profile fits failed their tests: see the letters below",
        "many profile fits failed their tests: check the peak defaults (FWHM law, eta, fit limits) against "
        "the scans");
    add("Reflections left out by the reader", in.n_left_out < 0 ? "&ndash;" : std::to_string(in.n_left_out),
        "green 0, red any", in.n_left_out < 0 ? Level::None : in.n_left_out == 0 ? Level::Good : Level::Bad, "",
        "the data file holds reflections the reader could not take: see the log for each");
    std::string cell = "not known";
    if (in.have_cell) {
        cell.clear();
        for (std::size_t j = 0; j < 6; ++j) cell += (j == 0 ? "" : j == 3 ? "; " : " ") + value_esd(in.cell[j], 4);
        cell += " (&Aring;, &deg;); V = " + fmt(cell_volume(in), 1) + " &Aring;<sup>3</sup>";
    }
    add("Cell", cell, "", Level::None, "", "");
    return out;
}

ReportFigures analyse_run(const ReportInput& in) {
    ReportFigures fig;
    fig.standards = analyse_standards(in.refl);
    const ReportInput* data = &in;
    ReportInput corrected;
    if (in.decay_correct && fig.standards.overall.ok) {
        corrected = in;
        apply_decay_correction(corrected.refl, fig.standards);
        fig.decay_corrected = true;
        fig.standards_corrected = analyse_standards(corrected.refl);
        data = &corrected;
    }
    fig.i_over_sigma = i_over_sigma_histogram(data->refl);
    fig.shells = resolution_shells(*data);
    fig.wilson = wilson_plot(*data);
    fig.merging = merge_statistics(*data);
    fig.diagnostics = fit_diagnostics(*data);
    fig.limits = data_limits(*data);
    return fig;
}

std::vector<Plot> report_plots(const ReportInput& in, const ReportFigures& fig) {
    std::vector<Plot> plots;
    plots.push_back(
        standards_plot("standards", "Standard reflections against measurement order", fig.standards));
    if (fig.decay_corrected)
        plots.push_back(standards_plot("standards-corrected",
                                       "Standard reflections after the decay correction",
                                       fig.standards_corrected));
    plots.push_back(
        histogram_plot("i-over-sigma", "Distribution of I/sigma(I)", "I/sigma(I)", fig.i_over_sigma));

    Plot shells;
    shells.id = "shells";
    shells.title = "Mean I/sigma(I) by resolution shell";
    shells.xlabel = "sin(theta)/lambda at the shell's outer limit (1/\u00c5)";
    shells.ylabel = "<I/sigma(I)>";
    shells.y_from_zero = true;
    Plot shells_pct;
    shells_pct.id = "shells-rejected-weak";
    shells_pct.title = "Rejected and weak reflections by resolution shell";
    shells_pct.xlabel = shells.xlabel;
    shells_pct.ylabel = "Share of the shell (%)";
    shells_pct.y_from_zero = true;
    Series ios, rej, weak;
    ios.name = "<I/sigma(I)>";
    ios.style = Series::Style::Line;
    rej.name = "% rejected";
    rej.style = Series::Style::Line;
    weak.name = "% weak (I < 2 sigma)";
    weak.style = Series::Style::Line;
    for (const auto& sh : fig.shells) {
        ios.x.push_back(sh.s_hi);
        ios.y.push_back(sh.mean_i_over_sigma);
        rej.x.push_back(sh.s_hi);
        rej.y.push_back(sh.pct_rejected);
        weak.x.push_back(sh.s_hi);
        weak.y.push_back(sh.pct_weak);
    }
    Series ios_pts = ios;
    ios_pts.name.clear();
    ios_pts.style = Series::Style::Points;
    ios_pts.color = "#1f5fa8";
    ios.color = "#1f5fa8";
    shells.series = {ios, ios_pts};
    shells_pct.series = {rej, weak};
    plots.push_back(shells);
    plots.push_back(shells_pct);

    Plot wilson;
    wilson.id = "wilson";
    wilson.title = std::string("Wilson plot (") +
                   (fig.wilson.unit_scattering ? "unit scattering" : "cell contents") + ")";
    wilson.xlabel = "(sin(theta)/lambda)^2 (1/\u00c5^2)";
    wilson.ylabel = "ln(<I>/Sigma f^2)";
    Series wp;
    wp.name = "shell means";
    for (const auto& p : fig.wilson.points) {
        wp.x.push_back(p.s2);
        wp.y.push_back(p.ln_ratio);
    }
    wilson.series.push_back(wp);
    if (fig.wilson.ok)
        wilson.series.push_back(line_of("B = " + fmt(fig.wilson.b, 2) + " \u00c5^2", wp.x,
                                        std::log(fig.wilson.scale), -2.0 * fig.wilson.b, "#000000"));
    plots.push_back(wilson);

    const Diagnostics& dg = fig.diagnostics;
    Plot rejections;
    rejections.id = "rejections";
    rejections.title = "Rejected fits by reason against 2theta";
    rejections.xlabel = "2theta (degrees)";
    rejections.ylabel = "Number of reflections";
    rejections.y_from_zero = true;
    std::vector<double> centres;
    for (std::size_t k = 0; k + 1 < dg.tth_edges.size(); ++k)
        centres.push_back(0.5 * (dg.tth_edges[k] + dg.tth_edges[k + 1]));
    Series all;
    all.name = "all written";
    all.style = Series::Style::Line;
    all.color = "#9ca3af";
    all.x = centres;
    for (int n : dg.total) all.y.push_back(n);
    rejections.series.push_back(all);
    for (const auto& [letter, counts] : dg.rejected) {
        Series s;
        s.name = rejection_name(letter);
        s.style = Series::Style::Line;
        s.x = centres;
        for (int n : counts) s.y.push_back(n);
        rejections.series.push_back(s);
    }
    plots.push_back(rejections);

    Plot fwhm;
    fwhm.id = "fwhm";
    fwhm.title = "Fitted FWHM against tan(theta)";
    fwhm.xlabel = "tan(theta)";
    fwhm.ylabel = "FWHM (degrees)";
    Series fp;
    fp.name = "fitted reflections";
    fp.x = dg.tan_theta;
    fp.y = dg.fwhm;
    for (const auto& hkl : dg.fit_hkl) fp.tips.push_back(hkl_text(hkl));
    fwhm.series.push_back(fp);
    if (std::isfinite(in.fwhm_a) && std::isfinite(in.fwhm_b))
        fwhm.series.push_back(line_of("law " + fmt(in.fwhm_a, 4) + " + " + fmt(in.fwhm_b, 4) + " tan(theta)",
                                      dg.tan_theta, in.fwhm_a, in.fwhm_b, "#000000"));
    plots.push_back(fwhm);

    Plot eta;
    eta.id = "eta";
    eta.title = "Fitted Lorentzian fraction eta against tan(theta)";
    eta.xlabel = "tan(theta)";
    eta.ylabel = "eta";
    Series ep;
    ep.name = "fitted reflections";
    ep.x = dg.tan_theta;
    ep.y = dg.eta;
    ep.tips = fp.tips;
    eta.series.push_back(ep);
    plots.push_back(eta);

    Plot dd;
    dd.id = "delta-d";
    dd.title = "delta-d/d against 2theta";
    dd.xlabel = "2theta (degrees)";
    dd.ylabel = "delta-d/d";
    Series dp;
    dp.name = "reflections";
    dp.x = dg.dd_tth;
    dp.y = dg.dd;
    for (const auto& hkl : dg.dd_hkl) dp.tips.push_back(hkl_text(hkl));
    dd.series.push_back(dp);
    if (dg.dd_trend.ok)
        dd.series.push_back(line_of("trend", dg.dd_tth, dg.dd_trend.a, dg.dd_trend.b, "#000000"));
    plots.push_back(dd);

    plots.push_back(
        histogram_plot("gof", dg.gof_is_rwp ? "Distribution of the fit Rwp" : "Distribution of the fit GOF",
                       dg.gof_is_rwp ? "Rwp" : "GOF", dg.gof));
    return plots;
}

std::string report_html(const ReportInput& in, const ReportFigures& fig, const std::vector<Plot>& plots) {
    auto plot_of = [&](const std::string& id) {
        for (const auto& p : plots)
            if (p.id == id) return "<figure>" + render_svg(p, false) + "</figure>\n";
        return std::string();
    };
    std::string h;
    h += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    h += "<title>Tarnivox reduction report: " + xml_escape(in.data_file) + "</title>\n";
    // One column on a narrow screen, two on a wide one; printed on A4 with
    // the plots two abreast and never parted from their captions.
    h += "<style>\n"
         "body{font-family:sans-serif;margin:1em auto;padding:0 1em;max-width:62em;color:#111;line-height:1.3}\n"
         "h1{font-size:1.4em;margin:.2em 0;border-bottom:2px solid #1f5fa8;padding-bottom:.2em}\n"
         "h2{font-size:1.15em;margin:.9em 0 .4em;border-bottom:1px solid #bbb}\n"
         "p.file{margin:.2em 0;color:#444;word-break:break-all}\n"
         "table{border-collapse:collapse;margin:.4em 0}\n"
         "th,td{border:1px solid #ccc;padding:.12em .45em;text-align:right;vertical-align:top}\n"
         "th{background:#eef2f8}\n td.l,th.l{text-align:left}\n"
         "table.verdict td{text-align:left}\n table.verdict td.v{font-weight:bold;white-space:nowrap}\n"
         "tr.good td.v{background:#dcfce7;color:#14532d}\n tr.doubtful td.v{background:#fef3c7;color:#78350f}\n"
         "tr.bad td.v{background:#fee2e2;color:#7f1d1d}\n .why{font-size:.88em;color:#444;font-style:italic}\n td.thr{font-size:.85em;color:#444}\n"
         ".grid{display:grid;grid-template-columns:minmax(0,1fr);gap:0 2em}\n"
         ".plots{display:grid;grid-template-columns:repeat(auto-fill,minmax(22em,1fr));gap:.6em}\n"
         "figure{margin:.4em 0;break-inside:avoid}\n svg.plot{width:100%;height:auto;border:1px solid #ddd}\n"
         ".flag{color:#b91c1c;font-weight:bold}\n .ok{color:#15803d}\n .note{color:#555;font-size:.9em}\n"
         "dl.letters{display:grid;grid-template-columns:auto 1fr;gap:0 .6em;font-size:.9em;margin:.3em 0}\n"
         "dl.letters dt{font-weight:bold;font-family:monospace}\n dl.letters dd{margin:0}\n"
         "nav a{margin-right:1em}\n"
         "@media (min-width:80em){body{max-width:150em}.grid{grid-template-columns:minmax(0,1fr) minmax(0,1fr)}}\n"
         "@media print{@page{size:A4;margin:10mm}nav{display:none}body{max-width:none;margin:0;padding:0;"
         "font-size:7.5pt}.grid{grid-template-columns:minmax(0,1fr) minmax(0,1fr)}"
         ".plots{grid-template-columns:repeat(3,minmax(0,1fr))}section{break-inside:auto}"
         "h2{break-after:avoid}table,figure{break-inside:avoid}svg.plot{border:none}}\n"
         "</style>\n</head>\n<body>\n";
    h += "<h1>Reduction report: " + xml_escape(in.title.empty() ? in.data_file : in.title) + "</h1>\n";
    h += "<p class=\"file\">Data file " + xml_escape(in.data_file) + " (" + xml_escape(in.format) + ")</p>\n";
    h += "<nav><a href=\"#verdict\">Verdict</a><a href=\"#summary\">Summary</a><a href=\"#standards\">Standards</a>"
         "<a href=\"#statistics\">Intensity statistics</a><a href=\"#merging\">Merging</a>"
         "<a href=\"#diagnostics\">Fit diagnostics</a></nav>\n";

    // The first screen: is this data set good?
    h += "<div class=\"grid\">\n<section id=\"verdict\">\n<h2>Is this data set good?</h2>\n"
         "<table class=\"verdict\">\n<tr><th class=\"l\">Figure</th><th class=\"l\">Value</th><th "
         "class=\"l\">Verdict</th><th class=\"l\">Threshold</th></tr>\n";
    for (const Verdict& v : verdicts(in, fig)) {
        static const char* const cls[] = {"none", "good", "doubtful", "bad"};
        static const char* const word[] = {"", "good", "check", "poor"};
        const auto k = static_cast<std::size_t>(v.level);
        h += std::string("<tr class=\"") + cls[k] + "\"><td>" + v.name + "</td><td>" + v.value +
             (v.reason.empty() ? std::string() : "<br><span class=\"why\">" + v.reason + "</span>") +
             "</td><td class=\"v\">" + word[k] + "</td><td class=\"thr\">" + v.threshold + "</td></tr>\n";
    }
    h += "</table>\n</section>\n";

    // Summary.
    int passed = 0, recovered = 0, summation = 0;
    std::map<char, int> rejected;
    for (const auto& r : in.refl) {
        switch (r.outcome) {
            case Outcome::Passed: ++passed; break;
            case Outcome::Recovered: ++recovered; break;
            case Outcome::Summation:
                ++summation;
                if (fit_rejected(r)) ++rejected[r.reason];
                break;
            case Outcome::Rejected: ++rejected[r.reason]; break;
        }
    }
    std::string rej_text;
    int rej_total = 0;
    for (const auto& [c, n] : rejected) {
        rej_text += (rej_text.empty() ? "" : ", ") + std::string(1, c) + ": " + std::to_string(n);
        rej_total += n;
    }
    auto row = [&](const std::string& k, const std::string& v) {
        h += "<tr><th class=\"l\">" + k + "</th><td class=\"l\">" + v + "</td></tr>\n";
    };
    h += "<section id=\"summary\">\n<h2>Summary</h2>\n<table>\n";
    if (!in.title.empty()) row("Title", xml_escape(in.title));
    row("Data file", xml_escape(in.data_file));
    row("Format", xml_escape(in.format));
    row("Wavelengths (&Aring;)", "&alpha;1 " + fmt(in.wave1, 5) + ", &alpha;2 " + fmt(in.wave2, 5));
    row("Reflections read", std::to_string(in.n_read));
    row("Reflections fitted", std::to_string(in.n_fitted));
    row("Reflections written", std::to_string(in.refl.size()));
    row("Passed", std::to_string(passed));
    row("Recovered in the second pass", std::to_string(recovered));
    row("Rejected", std::to_string(rej_total) + (rej_text.empty() ? "" : " (" + rej_text + ")"));
    row("Of them written from summation", std::to_string(summation));
    if (in.have_cell) {
        static const char* const names[6] = {"a (&Aring;)",     "b (&Aring;)",    "c (&Aring;)",
                                             "&alpha; (&deg;)", "&beta; (&deg;)", "&gamma; (&deg;)"};
        for (int j = 0; j < 6; ++j)
            row(std::string("Cell ") + names[j], value_esd(in.cell[static_cast<std::size_t>(j)], 4));
        row("Cell volume (&Aring;<sup>3</sup>)", fmt(cell_volume(in), 1));
    } else {
        row("Cell", "not known");
    }
    row("Omega zero (&deg;)", value_esd(in.omega_zero, 4));
    row("Crystal offsets", value_esd(in.offsets[0], 4) + ", " + value_esd(in.offsets[1], 4) + ", " +
                               value_esd(in.offsets[2], 4));
    row("FWHM law (&deg;)", std::isfinite(in.fwhm_a)
                                ? fmt(in.fwhm_a, 4) + " + " + fmt(in.fwhm_b, 4) + " tan &theta;"
                                : "&ndash;");
    std::string opts;
    for (const auto& [k, v] : in.options)
        opts += "<code>" + xml_escape(k) + (v.empty() ? "" : " " + xml_escape(v)) + "</code> ";
    row("Options", opts.empty() ? "&ndash;" : opts);
    row("Program version", xml_escape(in.version));
    row("Elapsed time (s)", fmt(in.elapsed_s, 1));
    const Limits& lim = fig.limits;
    row("&theta; range (&deg;)", fmt(lim.theta_min, 2) + " to " + fmt(lim.theta_max, 2));
    row("Index ranges", "h " + std::to_string(lim.index_min[0]) + " to " + std::to_string(lim.index_max[0]) +
                            ", k " + std::to_string(lim.index_min[1]) + " to " +
                            std::to_string(lim.index_max[1]) + ", l " + std::to_string(lim.index_min[2]) +
                            " to " + std::to_string(lim.index_max[2]));
    row("Reflections measured (standards once)", std::to_string(lim.n_measured));
    row("Of them accepted with I &gt; 2&sigma;(I)", std::to_string(lim.n_gt));
    h += "</table>\n" + rejection_letters(rejected) + "</section>\n</div>\n";

    // Standards.
    const StandardsAnalysis& sa = fig.standards;
    h += "<section id=\"standards\">\n<h2>Standards</h2>\n";
    if (sa.standards.empty()) {
        h += "<p>No standard reflections were measured.</p>\n";
    } else {
        h += "<p>Decay is the loss of intensity over the run (first to last reflection) of a straight line "
             "through each "
             "standard's intensities, in % of its level at the start; the overall figure fits one line to "
             "all standards "
             "with a scale for each. Esds are scaled by the goodness of fit where it exceeds 1, never shrunk "
             "below what the standards' own esds give.</p>\n";
        h += "<table>\n<tr><th>Standard</th><th>hkl</th><th>Measurements</th><th>Decay "
             "(%)</th><th>GOF</th><th "
             "class=\"l\">Significance</th></tr>\n";
        auto flag = [](const DecayFit& f) {
            if (!f.ok) return std::string("&ndash;");
            return f.flagged ? std::string("<span class=\"flag\">DECAY EXCEEDS 3 ESD</span>")
                             : std::string("<span class=\"ok\">within 3 esd</span>");
        };
        for (const auto& s : sa.standards)
            h += "<tr><td>" + std::to_string(s.number) + "</td><td>" + hkl_text(s.hkl) + "</td><td>" +
                 std::to_string(s.i.size()) + "</td><td>" + decay_text(s.fit) + "</td><td>" +
                 fmt(s.fit.gof, 2) + "</td><td class=\"l\">" + flag(s.fit) + "</td></tr>\n";
        h += "<tr><th colspan=\"3\" class=\"l\">Overall</th><td>" + decay_text(sa.overall) + "</td><td>" +
             fmt(sa.overall.gof, 2) + "</td><td class=\"l\">" + flag(sa.overall) + "</td></tr>\n</table>\n";
        if (fig.decay_corrected)
            h += "<p>The intensities and esds were divided by the fitted level 1 &minus; decay &times; t (t "
                 "the fraction "
                 "of the run); after the correction the overall decay is " +
                 decay_text(fig.standards_corrected.overall) + ".</p>\n";
        else if (in.decay_correct)
            h += "<p class=\"flag\">No decay correction: the decay could not be determined.</p>\n";
        h += "<div class=\"plots\">" + plot_of("standards") + plot_of("standards-corrected") + "</div>\n";
    }
    h += "</section>\n";

    // Intensity statistics.
    h += "<section id=\"statistics\">\n<h2>Intensity statistics</h2>\n";
    h += std::string("<p class=\"note\">") + (fig.decay_corrected ? "Decay-corrected intensities. " : "") +
         "Standards count once; rejected reflections count only in the rejected share. Weak: I &lt; "
         "2&sigma;(I). "
         "Resolution from " +
         (in.have_cell ? "the cell and the indices." : "2&theta; and the &alpha;1 wavelength.") + "</p>\n";
    h += "<table>\n<tr><th>d max (&Aring;)</th><th>d min "
         "(&Aring;)</th><th>n</th><th>&lt;I&gt;</th><th>&lt;I/&sigma;&gt;</th>"
         "<th>% rejected</th><th>% weak</th></tr>\n";
    for (const auto& sh : fig.shells)
        h += "<tr><td>" + (std::isfinite(sh.d_max) ? fmt(sh.d_max, 3) : std::string("&infin;")) +
             "</td><td>" + fmt(sh.d_min, 3) + "</td><td>" + std::to_string(sh.n) + "</td><td>" +
             fmt(sh.mean_i, 1) + "</td><td>" + fmt(sh.mean_i_over_sigma, 2) + "</td><td>" +
             fmt(sh.pct_rejected, 1) + "</td><td>" + fmt(sh.pct_weak, 1) + "</td></tr>\n";
    h += "</table>\n";
    const WilsonFit& wf = fig.wilson;
    if (wf.ok)
        h += "<p>Wilson plot: B = " + fmt(wf.b, 2) + " &plusmn; " + fmt(wf.b_esd, 2) +
             " &Aring;<sup>2</sup>, scale K = " + sig4(wf.scale) + " &plusmn; " + sig4(wf.scale_esd) +
             " (&lt;I&gt; = K &Sigma; exp(&minus;2B s<sup>2</sup>)), " +
             (wf.unit_scattering
                  ? "&Sigma; = 1 (unit scattering: no cell contents given, so B includes the fall-off of the "
                    "atomic scattering factors)."
                  : "&Sigma; = sum of f<sup>2</sup> of the given cell contents.") +
             "</p>\n";
    else
        h += "<p>Wilson plot: " + xml_escape(wf.message) + ".</p>\n";
    h += "<div class=\"plots\">" + plot_of("i-over-sigma") + plot_of("shells") + plot_of("shells-rejected-weak") +
         plot_of("wilson") + "</div>\n</section>\n";

    // Merging.
    const MergeStats& m = fig.merging;
    h += "<section id=\"merging\">\n<h2>Merging</h2>\n";
    if (!m.ok) {
        h += "<p>No merging figures: " + xml_escape(m.message) + ".</p>\n";
    } else {
        if (m.space_group)
            h += "<p>Space group " + xml_escape(m.group) + ": equivalents of its Laue class " + xml_escape(m.laue) +
                 ", its systematic absences left out of the merging and of the completeness (" +
                 std::to_string(m.n_absent) + " measured absences).</p>\n<table>\n";
        else
            h += "<p>Equivalents of Laue class " + xml_escape(m.laue) + " (" + xml_escape(m.group) +
                 "); no reflection taken as systematically absent (a space group gives absences).</p>\n<table>\n";
        row("Observations merged", std::to_string(m.n_obs));
        row("Unique reflections", std::to_string(m.n_unique));
        row("Unique with &lt;I&gt; &gt; 2&sigma;", std::to_string(m.n_gt));
        row("Redundancy", fmt(m.redundancy, 2));
        row("R(int)", fmt(m.rint, 4));
        row("R(&sigma;)", fmt(m.rsigma, 4));
        row("Resolution d min (&Aring;)", fmt(m.d_min, 3));
        row("Completeness to d min (%)",
            std::isfinite(m.completeness)
                ? fmt(m.completeness, 1) + " (" + std::to_string(m.n_possible) + " possible)"
                : std::string("unknown: no cell"));
        h += "</table>\n";
    }
    h += "</section>\n";

    // Fit diagnostics.
    h += "<section id=\"diagnostics\">\n<h2>Fit diagnostics</h2>\n";
    if (fig.diagnostics.dd_trend.ok)
        h += "<p>delta-d/d trend: " + fmt(fig.diagnostics.dd_trend.a * 1e4, 2) +
             (fig.diagnostics.dd_trend.b < 0.0 ? " &minus; " : " + ") + fmt(std::fabs(fig.diagnostics.dd_trend.b) * 1e4, 3) +
             " &times; 2&theta; (&times;10<sup>&minus;4</sup>), slope esd " +
             fmt(fig.diagnostics.dd_trend.b_esd * 1e4, 3) + ".</p>\n";
    h += "<div class=\"plots\">" + plot_of("rejections") + plot_of("fwhm") + plot_of("eta") + plot_of("delta-d") +
         plot_of("gof") + "</div>\n</section>\n";
    h += "<p class=\"note\">Tarnivox " + xml_escape(in.version) + "</p>\n</body>\n</html>\n";
    return h;
}

ReportOutcome write_report(const ReportInput& in, const std::string& html_path,
                           const std::string& plots_dir) {
    return write_report(in, analyse_run(in), html_path, plots_dir);
}

ReportOutcome write_report(const ReportInput& in, const ReportFigures& figures, const std::string& html_path,
                           const std::string& plots_dir) {
    ReportOutcome out;
    out.figures = figures;
    const std::vector<Plot> plots = report_plots(in, out.figures);
    if (write_whole_file(html_path, report_html(in, out.figures, plots)) != 0) {
        out.status = 1;
        out.message = "Cannot write the report " + html_path + ": " + open_failure_reason();
        return out;
    }
    out.written.push_back(html_path);
    if (plots_dir.empty()) return out;
    std::error_code ec;
    std::filesystem::create_directories(plots_dir, ec);
    if (ec) {
        out.status = 1;
        out.message = "Cannot make the plot folder " + plots_dir + ": " + ec.message();
        return out;
    }
    for (const auto& p : plots) {
        const std::string path = (std::filesystem::path(plots_dir) / (p.id + ".svg")).string();
        if (write_whole_file(path, render_svg(p, true)) != 0) {
            out.status = 1;
            out.message = "Cannot write the plot " + path + ": " + open_failure_reason();
            return out;
        }
        out.written.push_back(path);
    }
    return out;
}

}  // namespace tarnivox::report
