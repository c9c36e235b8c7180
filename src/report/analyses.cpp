#include "report/analyses.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <gemmi/elem.hpp>
#include <gemmi/it92.hpp>
#include <gemmi/unitcell.hpp>
#include <set>

#include "core/angles.h"
#include "refine/linear_algebra.h"
#include "report/least_squares.h"

namespace tarnivox::report {

namespace {

bool finite(double x) { return std::isfinite(x); }

std::string bin_label(double lo, double hi, int decimals) {
    char buf[64];
    if (!finite(lo))
        std::snprintf(buf, sizeof buf, "< %.*f", decimals, hi);
    else if (!finite(hi))
        std::snprintf(buf, sizeof buf, ">= %.*f", decimals, lo);
    else
        std::snprintf(buf, sizeof buf, "%.*f-%.*f", decimals, lo, decimals, hi);
    return buf;
}

}  // namespace

// ---- solving the normal equations ---------------------------------------

bool solve_normal_equations(std::vector<double>& N, std::vector<double>& rhs, int n) {
    // Equilibrate to a unit diagonal first: the pivot search of MXLNEQ
    // compares against an absolute threshold, and normal matrices weighted
    // with 1/sigma^2 of counts can be far from 1.
    std::vector<double> d(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double nii = N[static_cast<std::size_t>(i * n + i)];
        if (!(nii > 0.0) || !finite(nii)) return false;
        d[static_cast<std::size_t>(i)] = 1.0 / std::sqrt(nii);
    }
    // Column-major n x (n+1): the matrix, then the right-hand side.
    std::vector<double> a(static_cast<std::size_t>(n * (n + 1)));
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            a[static_cast<std::size_t>(i + j * n)] = N[static_cast<std::size_t>(i * n + j)] *
                                                     d[static_cast<std::size_t>(i)] *
                                                     d[static_cast<std::size_t>(j)];
    for (int i = 0; i < n; ++i)
        a[static_cast<std::size_t>(i + n * n)] =
            rhs[static_cast<std::size_t>(i)] * d[static_cast<std::size_t>(i)];
    double det = 0.0;
    int npiv = 0;
    MXLNEQ(a.data(), n, n, det, npiv, 1.0e-12, 1);
    if (npiv < n) return false;
    for (int i = 0; i < n; ++i) {
        rhs[static_cast<std::size_t>(i)] =
            a[static_cast<std::size_t>(i + n * n)] * d[static_cast<std::size_t>(i)];
        for (int j = 0; j < n; ++j)
            N[static_cast<std::size_t>(i * n + j)] = a[static_cast<std::size_t>(i + j * n)] *
                                                     d[static_cast<std::size_t>(i)] *
                                                     d[static_cast<std::size_t>(j)];
    }
    return true;
}

// ---- resolution ----------------------------------------------------------

Resolution::Resolution(const ReportInput& in) : wave_(in.wave1) {
    if (!in.have_cell) return;
    for (const auto& c : in.cell)
        if (!(c.value > 0.0)) return;
    gemmi::UnitCell uc;
    try {
        uc.set(in.cell[0].value, in.cell[1].value, in.cell[2].value, in.cell[3].value, in.cell[4].value,
               in.cell[5].value);
    } catch (const std::exception&) {
        return;  // impossible angles: resolution from 2theta
    }
    if (!(uc.volume > 0.0) || !finite(uc.volume)) return;
    metric_ = {uc.ar * uc.ar,
               uc.br * uc.br,
               uc.cr * uc.cr,
               2.0 * uc.br * uc.cr * uc.cos_alphar,
               2.0 * uc.cr * uc.ar * uc.cos_betar,
               2.0 * uc.ar * uc.br * uc.cos_gammar};
    have_cell_ = true;
}

double Resolution::stol_hkl(const std::array<int, 3>& hkl) const {
    if (!have_cell_) return NONE;
    const double h = hkl[0], k = hkl[1], l = hkl[2];
    const double inv_d2 = h * h * metric_[0] + k * k * metric_[1] + l * l * metric_[2] + k * l * metric_[3] +
                          l * h * metric_[4] + h * k * metric_[5];
    return 0.5 * std::sqrt(std::max(inv_d2, 0.0));
}

double Resolution::stol(const ReportReflection& r) const {
    if (have_cell_) return stol_hkl(r.hkl);
    if (!(wave_ > 0.0)) return NONE;
    return std::sin(0.5 * r.tth / DEGRAD) / wave_;
}

// ---- straight line -------------------------------------------------------

LineFit fit_line(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& w) {
    LineFit f;
    std::vector<double> N(4, 0.0), g(2, 0.0);
    int n = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (!finite(x[i]) || !finite(y[i]) || !(w[i] > 0.0)) continue;
        N[0] += w[i];
        N[1] += w[i] * x[i];
        N[3] += w[i] * x[i] * x[i];
        g[0] += w[i] * y[i];
        g[1] += w[i] * x[i] * y[i];
        ++n;
    }
    N[2] = N[1];
    f.n = n;
    if (n < 3 || !solve_normal_equations(N, g, 2)) return f;
    double chi2 = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (!finite(x[i]) || !finite(y[i]) || !(w[i] > 0.0)) continue;
        const double r = y[i] - g[0] - g[1] * x[i];
        chi2 += w[i] * r * r;
    }
    const double s2 = chi2 / (n - 2);
    f.ok = true;
    f.a = g[0];
    f.b = g[1];
    f.a_esd = std::sqrt(N[0] * s2);
    f.b_esd = std::sqrt(N[3] * s2);
    return f;
}

// ---- measured set --------------------------------------------------------

std::vector<const ReportReflection*> measured_once(const std::vector<ReportReflection>& refl) {
    std::vector<const ReportReflection*> out;
    std::set<int> seen;
    out.reserve(refl.size());
    for (const auto& r : refl) {
        if (r.standard != 0 && !seen.insert(r.standard).second) continue;
        out.push_back(&r);
    }
    return out;
}

// ---- standards -----------------------------------------------------------

double run_fraction(int seq, int first, int last) {
    if (last <= first) return 0.0;
    return static_cast<double>(seq - first) / static_cast<double>(last - first);
}

namespace {

// Least squares of I = a_k (1 + c t) over the given standards (Gauss-Newton;
// the model is linear in a_k for fixed c and nearly so overall).
DecayFit fit_decay(const std::vector<const StandardSeries*>& series) {
    DecayFit f;
    const int K = static_cast<int>(series.size());
    const int np = K + 1;
    int nobs = 0;
    std::vector<double> p(static_cast<std::size_t>(np), 0.0);
    for (int k = 0; k < K; ++k) {
        double sw = 0.0, swi = 0.0;
        for (std::size_t j = 0; j < series[k]->i.size(); ++j) {
            const double w = 1.0 / (series[k]->sigma[j] * series[k]->sigma[j]);
            sw += w;
            swi += w * series[k]->i[j];
            ++nobs;
        }
        if (!(sw > 0.0)) return f;
        p[static_cast<std::size_t>(k)] = swi / sw;
    }
    f.n = nobs;
    if (K == 0 || nobs <= np) return f;
    std::vector<double> N, g;
    double chi2 = 0.0;
    bool converged = false;
    for (int iter = 0; iter < 50; ++iter) {
        N.assign(static_cast<std::size_t>(np * np), 0.0);
        g.assign(static_cast<std::size_t>(np), 0.0);
        chi2 = 0.0;
        const double c = p[static_cast<std::size_t>(K)];
        for (int k = 0; k < K; ++k) {
            const double a = p[static_cast<std::size_t>(k)];
            const StandardSeries& s = *series[k];
            for (std::size_t j = 0; j < s.i.size(); ++j) {
                const double w = 1.0 / (s.sigma[j] * s.sigma[j]);
                const double ja = 1.0 + c * s.t[j], jc = a * s.t[j];
                const double r = s.i[j] - a * ja;
                chi2 += w * r * r;
                N[static_cast<std::size_t>(k * np + k)] += w * ja * ja;
                N[static_cast<std::size_t>(k * np + K)] += w * ja * jc;
                N[static_cast<std::size_t>(K * np + k)] += w * ja * jc;
                N[static_cast<std::size_t>(K * np + K)] += w * jc * jc;
                g[static_cast<std::size_t>(k)] += w * ja * r;
                g[static_cast<std::size_t>(K)] += w * jc * r;
            }
        }
        if (converged) break;  // N and chi2 now belong to the final parameters
        if (!solve_normal_equations(N, g, np)) return f;
        double biggest = 0.0;
        for (int q = 0; q < np; ++q) {
            p[static_cast<std::size_t>(q)] += g[static_cast<std::size_t>(q)];
            const double size = q < K ? std::fabs(p[static_cast<std::size_t>(q)]) : 1.0;
            biggest = std::max(biggest, std::fabs(g[static_cast<std::size_t>(q)]) / std::max(size, 1e-300));
        }
        if (biggest < 1e-10) converged = true;
    }
    if (!converged) return f;
    std::vector<double> inv = N, dummy(static_cast<std::size_t>(np), 0.0);
    if (!solve_normal_equations(inv, dummy, np)) return f;
    const int dof = nobs - np;
    f.gof = std::sqrt(chi2 / dof);
    // The esd grows with a scatter beyond the counting statistics but never
    // shrinks below them: the fitted intensities' esds are generous, so a
    // goodness of fit under 1 is common, and scaling by it would turn the
    // noise of a stable crystal into a "significant" decay.
    const double var_c = inv[static_cast<std::size_t>(K * np + K)] * std::max(1.0, chi2 / dof);
    f.slope = p[static_cast<std::size_t>(K)];
    f.scales.assign(p.begin(), p.begin() + K);
    f.decay_pct = -100.0 * f.slope;
    f.esd_pct = 100.0 * std::sqrt(var_c);
    f.ok = finite(f.decay_pct) && finite(f.esd_pct);
    f.flagged = f.ok && std::fabs(f.decay_pct) > 3.0 * f.esd_pct;
    return f;
}

}  // namespace

StandardsAnalysis analyse_standards(const std::vector<ReportReflection>& refl) {
    StandardsAnalysis sa;
    if (refl.empty()) return sa;
    sa.seq_first = refl.front().seq;
    sa.seq_last = refl.front().seq;
    for (const auto& r : refl) {
        sa.seq_first = std::min(sa.seq_first, r.seq);
        sa.seq_last = std::max(sa.seq_last, r.seq);
    }
    std::map<int, StandardSeries> by_number;
    for (const auto& r : refl) {
        if (r.standard == 0 || !is_accepted(r) || !(r.sigma > 0.0) || !finite(r.i)) continue;
        StandardSeries& s = by_number[r.standard];
        s.number = r.standard;
        s.hkl = r.hkl;
        s.seq.push_back(r.seq);
        s.t.push_back(run_fraction(r.seq, sa.seq_first, sa.seq_last));
        s.i.push_back(r.i);
        s.sigma.push_back(r.sigma);
    }
    std::vector<const StandardSeries*> all;
    for (auto& [number, s] : by_number) {
        s.fit = fit_decay({&s});
        sa.standards.push_back(s);
    }
    for (const auto& s : sa.standards)
        if (s.i.size() >= 2) all.push_back(&s);
    sa.overall = fit_decay(all);
    return sa;
}

double decay_factor(const DecayFit& fit, double t) {
    if (!fit.ok) return 1.0;
    const double level = 1.0 + fit.slope * t;
    return level > 0.0 ? 1.0 / level : 1.0;
}

void apply_decay_correction(std::vector<ReportReflection>& refl, const StandardsAnalysis& sa) {
    for (auto& r : refl) {
        const double f = decay_factor(sa.overall, run_fraction(r.seq, sa.seq_first, sa.seq_last));
        r.i *= f;
        r.sigma *= f;
    }
}

// ---- histograms ----------------------------------------------------------

Histogram histogram(const std::vector<double>& values, const std::vector<double>& edges, int decimals) {
    Histogram h;
    h.edges = edges;
    const std::size_t nb = edges.size() < 2 ? 0 : edges.size() - 1;
    h.counts.assign(nb, 0);
    for (std::size_t k = 0; k < nb; ++k) h.labels.push_back(bin_label(edges[k], edges[k + 1], decimals));
    for (double v : values) {
        if (std::isnan(v)) continue;
        for (std::size_t k = 0; k < nb; ++k)
            if (v >= edges[k] && v < edges[k + 1]) {
                ++h.counts[k];
                break;
            }
    }
    return h;
}

Histogram i_over_sigma_histogram(const std::vector<ReportReflection>& refl) {
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> v;
    for (const ReportReflection* r : measured_once(refl))
        if (is_accepted(*r) && r->sigma > 0.0) v.push_back(r->i / r->sigma);
    return histogram(v, {-inf, 0, 1, 2, 3, 5, 10, 20, 50, 100, inf}, 0);
}

// ---- resolution shells ---------------------------------------------------

std::vector<Shell> resolution_shells(const ReportInput& in, int nshells) {
    const Resolution res(in);
    const auto once = measured_once(in.refl);
    std::vector<double> s(once.size());
    double smax = 0.0;
    for (std::size_t i = 0; i < once.size(); ++i) {
        s[i] = res.stol(*once[i]);
        if (finite(s[i])) smax = std::max(smax, s[i]);
    }
    std::vector<Shell> shells;
    if (!(smax > 0.0)) return shells;
    // At least about 20 reflections per shell.
    nshells = std::max(1, std::min(nshells, static_cast<int>(once.size() / 20)));
    for (int k = 0; k < nshells; ++k) {
        Shell sh;
        sh.s_lo = smax * std::cbrt(static_cast<double>(k) / nshells);
        sh.s_hi = smax * std::cbrt(static_cast<double>(k + 1) / nshells);
        sh.d_max = sh.s_lo > 0.0 ? 0.5 / sh.s_lo : NONE;
        sh.d_min = 0.5 / sh.s_hi;
        shells.push_back(sh);
    }
    std::vector<double> sum_i(shells.size(), 0.0), sum_ios(shells.size(), 0.0);
    std::vector<int> n_ios(shells.size(), 0);
    for (std::size_t i = 0; i < once.size(); ++i) {
        if (!finite(s[i])) continue;
        int k = static_cast<int>(std::floor(nshells * (s[i] / smax) * (s[i] / smax) * (s[i] / smax)));
        k = std::clamp(k, 0, nshells - 1);
        Shell& sh = shells[static_cast<std::size_t>(k)];
        const ReportReflection& r = *once[i];
        ++sh.n;
        if (fit_rejected(r)) ++sh.n_rejected;
        if (!is_accepted(r)) continue;
        ++sh.n_accepted;
        if (is_weak(r)) ++sh.n_weak;
        sum_i[static_cast<std::size_t>(k)] += r.i;
        if (r.sigma > 0.0) {
            sum_ios[static_cast<std::size_t>(k)] += r.i / r.sigma;
            ++n_ios[static_cast<std::size_t>(k)];
        }
    }
    for (std::size_t k = 0; k < shells.size(); ++k) {
        Shell& sh = shells[k];
        if (sh.n > 0) sh.pct_rejected = 100.0 * sh.n_rejected / sh.n;
        if (sh.n_accepted > 0) {
            sh.mean_i = sum_i[k] / sh.n_accepted;
            if (n_ios[k] > 0) sh.mean_i_over_sigma = sum_ios[k] / n_ios[k];
            sh.pct_weak = 100.0 * sh.n_weak / sh.n_accepted;
        }
    }
    return shells;
}

// ---- Wilson plot ---------------------------------------------------------

bool sum_f_squared(const std::map<std::string, double>& composition, double s2, double& sum,
                   std::string& bad) {
    sum = 0.0;
    for (const auto& [symbol, count] : composition) {
        const gemmi::El el = gemmi::find_element(symbol.c_str());
        const auto* coef = gemmi::IT92<double>::get_ptr(el);
        if (el == gemmi::El::X || coef == nullptr) {
            bad = symbol;
            return false;
        }
        const double f = coef->calculate_sf(s2);
        sum += count * f * f;
    }
    return true;
}

WilsonFit wilson_plot(const ReportInput& in, int nbins) {
    WilsonFit wf;
    const Resolution res(in);
    wf.unit_scattering = in.composition.empty();
    // Each reflection's Sigma at its own resolution: the bins then compare
    // <I> with <Sigma> over the same reflections, free of the curvature of
    // the scattering factors across a bin.
    std::vector<double> s2, inten, sig;
    for (const ReportReflection* r : measured_once(in.refl)) {
        if (!is_accepted(*r)) continue;
        const double s = res.stol(*r);
        if (!finite(s) || !(s > 0.0)) continue;
        double sigma_sum = 1.0;
        if (!wf.unit_scattering) {
            std::string bad;
            if (!sum_f_squared(in.composition, s * s, sigma_sum, bad)) {
                wf.message = "unknown element '" + bad + "' in the cell contents";
                return wf;
            }
        }
        s2.push_back(s * s);
        inten.push_back(r->i);
        sig.push_back(sigma_sum);
    }
    if (s2.size() < 30) {
        wf.message = "too few reflections for a Wilson plot";
        return wf;
    }
    const double hi = *std::max_element(s2.begin(), s2.end());
    const double lo = *std::min_element(s2.begin(), s2.end());
    if (!(hi > lo)) {
        wf.message = "all reflections at one resolution";
        return wf;
    }
    nbins = std::max(3, std::min(nbins, static_cast<int>(s2.size() / 15)));
    const std::size_t nb = static_cast<std::size_t>(nbins);
    std::vector<double> sum_s2(nb, 0.0), sum_i(nb, 0.0), sum_sig(nb, 0.0);
    std::vector<int> n(nb, 0);
    for (std::size_t i = 0; i < s2.size(); ++i) {
        const auto k = static_cast<std::size_t>(
            std::clamp(static_cast<int>((s2[i] - lo) / (hi - lo) * nbins), 0, nbins - 1));
        sum_s2[k] += s2[i];
        sum_i[k] += inten[i];
        sum_sig[k] += sig[i];
        ++n[k];
    }
    std::vector<double> x, y, w;
    for (std::size_t k = 0; k < nb; ++k) {
        if (n[k] < 5 || !(sum_i[k] > 0.0) || !(sum_sig[k] > 0.0)) continue;
        WilsonPoint p{sum_s2[k] / n[k], std::log(sum_i[k] / sum_sig[k]), n[k]};
        wf.points.push_back(p);
        x.push_back(p.s2);
        y.push_back(p.ln_ratio);
        w.push_back(p.n);
    }
    const LineFit lf = fit_line(x, y, w);
    if (!lf.ok) {
        wf.message = "too few resolution bins with a positive mean intensity";
        return wf;
    }
    wf.ok = true;
    wf.b = -0.5 * lf.b;
    wf.b_esd = 0.5 * lf.b_esd;
    wf.scale = std::exp(lf.a);
    wf.scale_esd = wf.scale * lf.a_esd;
    return wf;
}

// ---- fit diagnostics -----------------------------------------------------

Diagnostics fit_diagnostics(const ReportInput& in, int nbins) {
    Diagnostics dg;
    const Resolution res(in);
    double lo = 1e300, hi = -1e300;
    for (const auto& r : in.refl) {
        lo = std::min(lo, r.tth);
        hi = std::max(hi, r.tth);
    }
    if (in.refl.empty()) return dg;
    if (!(hi > lo)) hi = lo + 1.0;
    for (int k = 0; k <= nbins; ++k) dg.tth_edges.push_back(lo + (hi - lo) * k / nbins);
    dg.total.assign(static_cast<std::size_t>(nbins), 0);
    std::vector<double> gof, rwp;
    for (const auto& r : in.refl) {
        const int k = std::clamp(static_cast<int>((r.tth - lo) / (hi - lo) * nbins), 0, nbins - 1);
        ++dg.total[static_cast<std::size_t>(k)];
        if (fit_rejected(r)) {
            auto& v = dg.rejected[r.reason];
            v.resize(static_cast<std::size_t>(nbins), 0);
            ++v[static_cast<std::size_t>(k)];
        }
        if (!is_accepted(r)) continue;
        if (finite(r.gof)) gof.push_back(r.gof);
        if (finite(r.rwp)) rwp.push_back(r.rwp);
        if (r.outcome == Outcome::Summation) continue;  // no fitted profile
        const double tan_theta = std::tan(0.5 * r.tth / DEGRAD);
        if (finite(r.fwhm) || finite(r.eta)) {
            dg.tan_theta.push_back(tan_theta);
            dg.fwhm.push_back(r.fwhm);
            dg.eta.push_back(r.eta);
            dg.fit_hkl.push_back(r.hkl);
        }
        if (res.from_cell() && in.wave1 > 0.0 && r.tth > 0.0) {
            const double d_obs = in.wave1 / (2.0 * std::sin(0.5 * r.tth / DEGRAD));
            const double d_calc = 0.5 / res.stol(r);
            if (finite(d_calc) && d_calc > 0.0) {
                dg.dd_tth.push_back(r.tth);
                dg.dd.push_back((d_obs - d_calc) / d_calc);
                dg.dd_hkl.push_back(r.hkl);
            }
        }
    }
    dg.dd_trend = fit_line(dg.dd_tth, dg.dd, std::vector<double>(dg.dd.size(), 1.0));
    const std::vector<double>& q = gof.empty() ? rwp : gof;
    dg.gof_is_rwp = gof.empty();
    double qmax = 0.0;
    for (double v : q) qmax = std::max(qmax, std::min(v, 1.0e6));  // the last bin holds anything above
    // Twenty bins from zero to a round number above the largest value.
    double top = 1.0;
    while (top < qmax) top *= (top * 2.0 >= qmax ? 2.0 : 10.0);
    std::vector<double> edges;
    for (int k = 0; k <= 20; ++k) edges.push_back(top * k / 20.0);
    edges.back() = std::numeric_limits<double>::infinity();
    dg.gof = histogram(q, edges, top >= 20.0 ? 0 : 2);
    return dg;
}

// ---- limits --------------------------------------------------------------

Limits data_limits(const ReportInput& in) {
    Limits lim;
    lim.index_min = {0, 0, 0};
    lim.index_max = {0, 0, 0};
    bool first = true;
    for (const ReportReflection* r : measured_once(in.refl)) {
        ++lim.n_measured;
        if (is_accepted(*r) && !is_weak(*r)) ++lim.n_gt;
        const double theta = 0.5 * r->tth;
        for (int j = 0; j < 3; ++j) {
            lim.index_min[static_cast<std::size_t>(j)] =
                first ? r->hkl[static_cast<std::size_t>(j)]
                      : std::min(lim.index_min[static_cast<std::size_t>(j)],
                                 r->hkl[static_cast<std::size_t>(j)]);
            lim.index_max[static_cast<std::size_t>(j)] =
                first ? r->hkl[static_cast<std::size_t>(j)]
                      : std::max(lim.index_max[static_cast<std::size_t>(j)],
                                 r->hkl[static_cast<std::size_t>(j)]);
        }
        lim.theta_min = first ? theta : std::min(lim.theta_min, theta);
        lim.theta_max = first ? theta : std::max(lim.theta_max, theta);
        first = false;
    }
    return lim;
}

}  // namespace tarnivox::report
