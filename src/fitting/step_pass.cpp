// The per-step pass of the profile fit, scalar and vectorised.  With
// Highway the vectorised pass is compiled once for every instruction set
// the library can target on this architecture (this file is included again
// for each of them) and the best one the processor runs is chosen at the
// first call, so that one binary runs on any x86-64.

// foreach_target.h comes first, the math after highway.h.
// clang-format off
#if defined(TARNIVOX_HAVE_HWY)
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "fitting/step_pass.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>
#include <hwy/contrib/math/math-inl.h>
#endif
// clang-format on

#include "fitting/step_pass.h"

#include <cmath>

#if defined(TARNIVOX_HAVE_HWY)
HWY_BEFORE_NAMESPACE();
namespace tarnivox {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The same arithmetic as pv_terms and the scalar pass, a vector of steps
// at a time; the Gaussian outside its reach and the Lorentzian of zero
// width at its centre are masked to 0 as there.
template <class D, class V = hn::Vec<D>>
struct Pv {
    V phi, dp, dh, deta;
};

template <class D, class V = hn::Vec<D>>
HWY_INLINE Pv<D> pv_vec(D d, V delta, const PvShape& s) {
    const V zero = hn::Zero(d);
    const auto in_reach = hn::Le(hn::Abs(delta), hn::Set(d, s.gauss_reach));
    const V c2rh = hn::Set(d, s.c2rh);
    const V u = hn::Mul(c2rh, delta);
    const V u2 = hn::Mul(u, u);
    const V g = hn::IfThenElseZero(in_reach, hn::Mul(hn::Set(d, s.gnorm), hn::Exp(d, hn::Neg(u2))));
    const V two = hn::Set(d, 2.0);
    const V gdp = hn::IfThenElseZero(in_reach, hn::Mul(hn::Mul(hn::Mul(two, c2rh), u), g));
    const V gdh = hn::IfThenElseZero(
        in_reach, hn::Mul(hn::Mul(hn::Sub(hn::Mul(two, u2), hn::Set(d, 1.0)), g), hn::Set(d, s.rh)));

    const V d2 = hn::Mul(hn::Set(d, 4.0), hn::Mul(delta, delta));
    const V h2 = hn::Set(d, s.h2);
    const V den = hn::Add(d2, h2);
    const auto pos = hn::Gt(den, zero);
    const V rd = hn::IfThenElseZero(pos, hn::Div(hn::Set(d, 1.0), den));
    const V c3 = hn::Set(d, LORENTZ_C3);
    const V l = hn::Mul(hn::Mul(c3, hn::Set(d, s.h)), rd);
    const V ldp = hn::Mul(hn::Mul(hn::Mul(hn::Set(d, 8.0), delta), l), rd);
    const V ldh = hn::IfThenElseZero(pos, hn::Mul(hn::Mul(hn::Mul(c3, hn::Sub(d2, h2)), rd), rd));

    const V eta = hn::Set(d, s.eta);
    const V ge = hn::Set(d, 1.0 - s.eta);
    return Pv<D>{hn::Add(hn::Mul(ge, g), hn::Mul(eta, l)), hn::Add(hn::Mul(ge, gdp), hn::Mul(eta, ldp)),
                 hn::Add(hn::Mul(ge, gdh), hn::Mul(eta, ldh)), hn::Sub(l, g)};
}

// The sums of the steps from i on, a vector of them; kTail: the last,
// partial vector, whose lanes past the scan's end (the padding) add
// nothing, whatever the model gives there.
template <bool kTwo, bool kTail, class D, class V = hn::Vec<D>>
HWY_INLINE void pass_step(D d, const StepData& s, const StepModel& m, int i, double* HWY_RESTRICT yc, V* a,
                          V* b, V& swr2, V& swy2) {
    const V x = hn::LoadU(d, s.x + i);
    const V inten = hn::Set(d, m.inten);
    const Pv<D> t1 = pv_vec(d, hn::Sub(x, hn::Set(d, m.p1)), m.shape);
    V phi = t1.phi, dh = t1.dh, dp = t1.dp, de = t1.deta, phi2 = hn::Zero(d);
    if constexpr (kTwo) {
        const V ratio = hn::Set(d, m.ratio);
        const Pv<D> t2 = pv_vec(d, hn::Sub(x, hn::Set(d, m.p2)), m.shape);
        phi = hn::MulAdd(ratio, t2.phi, phi);
        dh = hn::MulAdd(ratio, t2.dh, dh);
        dp = hn::MulAdd(hn::Set(d, m.ratio * m.pfac), t2.dp, dp);
        de = hn::MulAdd(ratio, t2.deta, de);
        phi2 = t2.phi;
    }
    const V ycalc = hn::MulAdd(inten, phi, hn::Set(d, m.bg + 1.0));
    hn::StoreU(ycalc, d, yc + i);
    V g[6] = {hn::Set(d, 1.0),    hn::Mul(inten, dh), phi,
              hn::Mul(inten, dp), hn::Mul(inten, de), hn::Mul(inten, phi2)};
    V yp = hn::LoadU(d, s.yp + i);
    V wt = hn::LoadU(d, s.w + i);
    V r = hn::Sub(yp, ycalc);
    if constexpr (kTail) {
        const auto valid = hn::FirstN(d, static_cast<std::size_t>(s.n - i));
        for (V& v : g) v = hn::IfThenElseZero(valid, v);
        yp = hn::IfThenElseZero(valid, yp);
        wt = hn::IfThenElseZero(valid, wt);
        r = hn::IfThenElseZero(valid, r);
    }
    for (int j = 0; j < 6; ++j) {
        const V wg = hn::Mul(wt, g[j]);
        b[j] = hn::MulAdd(wg, r, b[j]);
        for (int l = 0; l <= j; ++l) a[tri(j, l)] = hn::MulAdd(wg, g[l], a[tri(j, l)]);
    }
    swr2 = hn::MulAdd(hn::Mul(wt, r), r, swr2);
    swy2 = hn::MulAdd(hn::Mul(wt, yp), yp, swy2);
}

template <bool kTwo>
HWY_INLINE void pass_impl(const StepData& s, const StepModel& m, double* HWY_RESTRICT yc, StepSums& sums) {
    using D = hn::ScalableTag<double>;
    using V = hn::Vec<D>;
    const D d;
    const int N = static_cast<int>(hn::Lanes(d));
    V a[21];
    V b[6];
    for (V& v : a) v = hn::Zero(d);
    for (V& v : b) v = hn::Zero(d);
    V swr2 = hn::Zero(d), swy2 = hn::Zero(d);
    int i = 0;
    for (; i + N <= s.n; i += N) pass_step<kTwo, false>(d, s, m, i, yc, a, b, swr2, swy2);
    if (i < s.n) pass_step<kTwo, true>(d, s, m, i, yc, a, b, swr2, swy2);
    for (int k = 0; k < 21; ++k) sums.a[static_cast<std::size_t>(k)] = hn::GetLane(hn::SumOfLanes(d, a[k]));
    for (int k = 0; k < 6; ++k) sums.b[static_cast<std::size_t>(k)] = hn::GetLane(hn::SumOfLanes(d, b[k]));
    sums.swr2 = hn::GetLane(hn::SumOfLanes(d, swr2));
    sums.swy2 = hn::GetLane(hn::SumOfLanes(d, swy2));
}

void VectorPass(const StepData& s, const StepModel& m, double* yc, StepSums& sums) {
    if (m.two_lines)
        pass_impl<true>(s, m, yc, sums);
    else
        pass_impl<false>(s, m, yc, sums);
}

const char* VectorTargetName() { return hwy::TargetName(HWY_TARGET); }

}  // namespace HWY_NAMESPACE
}  // namespace tarnivox
HWY_AFTER_NAMESPACE();
#endif  // TARNIVOX_HAVE_HWY

#if !defined(TARNIVOX_HAVE_HWY) || HWY_ONCE
namespace tarnivox {

#if defined(TARNIVOX_HAVE_HWY)
HWY_EXPORT(VectorPass);
HWY_EXPORT(VectorTargetName);
#endif

StepModel make_step_model(const std::array<double, 6>& v, const Doublet& dbl, double pfac) {
    StepModel m;
    m.bg = v[0];
    m.inten = v[2];
    m.p1 = v[3];
    m.ratio = v[5];
    m.p2 = v[3] + dbl.shift;
    m.pfac = pfac;
    m.two_lines = dbl.two_lines;
    m.shape = pv_shape(v[1], v[4]);
    return m;
}

// The order of every product and sum is that of the fit before the pass
// was vectorised, so that this pass reproduces its results bit for bit.
void step_pass_scalar(const StepData& s, const StepModel& m, double* yc, StepSums& sums) {
    sums = StepSums{};
    std::array<double, 6> d{};
    d[0] = 1.0;
    for (int i = 0; i < s.n; ++i) {
        const PvTerms t1 = pv_terms(s.x[i] - m.p1, m.shape);
        double phi = t1.phi, dh = t1.dh, dp = t1.dp, de = t1.deta, phi2 = 0.0;
        if (m.two_lines) {
            const PvTerms t2 = pv_terms(s.x[i] - m.p2, m.shape);
            phi += m.ratio * t2.phi;
            dh += m.ratio * t2.dh;
            dp += m.ratio * m.pfac * t2.dp;
            de += m.ratio * t2.deta;
            phi2 = t2.phi;
        }
        const double ycalc = m.bg + m.inten * phi + 1.0;
        yc[i] = ycalc;
        d[1] = m.inten * dh;
        d[2] = phi;
        d[3] = m.inten * dp;
        d[4] = m.inten * de;
        d[5] = m.inten * phi2;
        const double r = s.yp[i] - ycalc;
        const double wt = s.w[i];
        for (int j = 0; j < 6; ++j) {
            const double wg = wt * d[static_cast<std::size_t>(j)];
            sums.b[static_cast<std::size_t>(j)] += wg * r;
            for (int l = 0; l <= j; ++l)
                sums.a[static_cast<std::size_t>(tri(j, l))] += wg * d[static_cast<std::size_t>(l)];
        }
        sums.swr2 += wt * r * r;
        sums.swy2 += wt * s.yp[i] * s.yp[i];
    }
}

#if defined(TARNIVOX_HAVE_HWY)

void step_pass(const StepData& s, const StepModel& m, double* yc, StepSums& sums) {
    HWY_DYNAMIC_DISPATCH(VectorPass)(s, m, yc, sums);
}

const char* step_pass_target_name() { return HWY_DYNAMIC_DISPATCH(VectorTargetName)(); }

std::vector<VectorTarget> vector_targets() {
    std::vector<VectorTarget> out;
    for (const std::int64_t t : hwy::SupportedAndGeneratedTargets()) out.push_back({t, hwy::TargetName(t)});
    return out;
}

void step_pass_on(const VectorTarget& target, const StepData& s, const StepModel& m, double* yc,
                  StepSums& sums) {
    hwy::SetSupportedTargetsForTest(target.id);
    step_pass(s, m, yc, sums);
    hwy::SetSupportedTargetsForTest(0);
}

#else

void step_pass(const StepData& s, const StepModel& m, double* yc, StepSums& sums) {
    step_pass_scalar(s, m, yc, sums);
}

const char* step_pass_target_name() { return "scalar"; }

std::vector<VectorTarget> vector_targets() { return {}; }

void step_pass_on(const VectorTarget&, const StepData& s, const StepModel& m, double* yc, StepSums& sums) {
    step_pass_scalar(s, m, yc, sums);
}

#endif

}  // namespace tarnivox
#endif
