#include "report/merging.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <gemmi/unitcell.hpp>
#include <gemmi/symmetry.hpp>
#include <map>

#include "report/analyses.h"

namespace tarnivox::report {

namespace {

bool all_digits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// A Laue class in any of its usual spellings (blanks and case ignored:
// "2/M", "MMM", "-3 m 1") stands for its primitive centrosymmetric group;
// any other symbol is looked up as a space-group name.  A bare number is
// not a Laue class (a space group is given by number only where the caller
// has said it means one).
const gemmi::SpaceGroup* group_of(const std::string& symbol, bool* is_laue = nullptr) {
    static const std::map<std::string, std::string> laue = {
        {"-1", "P -1"},         {"2/m", "P 1 2/m 1"}, {"mmm", "P m m m"},     {"4/m", "P 4/m"},
        {"4/mmm", "P 4/m m m"}, {"-3", "P -3"},       {"-3m", "P -3 m 1"},    {"-3m1", "P -3 m 1"},
        {"-31m", "P -3 1 m"},   {"6/m", "P 6/m"},     {"6/mmm", "P 6/m m m"}, {"m-3", "P m -3"},
        {"m-3m", "P m -3 m"},
    };
    std::string s;
    for (char c : symbol)
        if (c != ' ') s += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto it = laue.find(s);
    if (is_laue != nullptr) *is_laue = it != laue.end();
    if (it == laue.end() && (s.empty() || all_digits(s))) return nullptr;
    const std::string name = it != laue.end() ? it->second : symbol;
    try {
        return gemmi::find_spacegroup_by_name(name);
    } catch (const std::exception&) {
        return nullptr;
    }
}

}  // namespace

std::string merging_group(const std::string& symbol) {
    const gemmi::SpaceGroup* sg = group_of(symbol);
    return sg != nullptr ? sg->xhm() : std::string();
}

std::string space_group_symbol(const std::string& given) {
    std::string s;
    for (char c : given)
        if (c != ' ') s += c;
    const gemmi::SpaceGroup* sg = nullptr;
    try {
        if (all_digits(s)) {
            if (s.size() <= 3) sg = gemmi::find_spacegroup_by_number(std::stoi(s));
        } else if (!s.empty()) {
            sg = gemmi::find_spacegroup_by_name(given);
        }
    } catch (const std::exception&) {
        sg = nullptr;
    }
    return sg != nullptr ? sg->xhm() : std::string();
}

std::string laue_class_of(const std::string& symbol) {
    const gemmi::SpaceGroup* sg = group_of(symbol);
    return sg != nullptr ? sg->laue_str() : std::string();
}

std::string cell_symmetry_conflict(const std::array<double, 6>& cell, const std::string& symbol) {
    const gemmi::SpaceGroup* sg = group_of(symbol);
    if (sg == nullptr) return "unknown Laue class or space group \"" + symbol + "\"";
    gemmi::UnitCell uc;
    try {
        uc.set(cell[0], cell[1], cell[2], cell[3], cell[4], cell[5]);
    } catch (const std::exception&) {
        return {};  // no cell to judge by
    }
    if (!(uc.volume > 0.0) || !std::isfinite(uc.volume)) return {};
    // Every rotation of the Laue class must carry the metric into itself.
    // Refined cells are not exact: lengths may differ by 0.5 % and angles
    // by about 0.6 degrees (metric elements by 1 % of a length squared, a
    // cosine by 0.01) before the metric is taken to lack the symmetry.
    const std::array<double, 6> g = uc.metric_tensor().elements_voigt();
    for (const gemmi::Op& op : sg->operations().sym_ops) {
        const gemmi::Mat33 m = uc.orth.mat.multiply(gemmi::rot_as_mat33(op));
        const std::array<double, 6> o = {m.column_dot(0, 0), m.column_dot(1, 1), m.column_dot(2, 2),
                                         m.column_dot(1, 2), m.column_dot(0, 2), m.column_dot(0, 1)};
        bool fits = true;
        for (int i = 0; i < 3; ++i)
            if (std::fabs(g[i] - o[i]) > 0.01 * std::max(g[i], o[i])) fits = false;
        const int pair[3][2] = {{1, 2}, {0, 2}, {0, 1}};
        for (int i = 0; i < 3; ++i)
            if (std::fabs(g[3 + i] - o[3 + i]) > 0.01 * std::sqrt(g[pair[i][0]] * g[pair[i][1]])) fits = false;
        if (!fits) {
            char text[160];
            std::snprintf(text, sizeof text, "the cell %.4f %.4f %.4f %.3f %.3f %.3f cannot have the symmetry of %s",
                          cell[0], cell[1], cell[2], cell[3], cell[4], cell[5], sg->laue_str());
            return text;
        }
    }
    return {};
}

std::string laue_for_crystal_system(const std::string& system) {
    static const std::map<std::string, std::string> lowest = {
        {"monoclinic-b", "2/m"}, {"monoclinic-c", "P 1 1 2/m"}, {"orthorhombic", "mmm"},
        {"tetragonal", "4/m"},   {"hexagonal", "-3"},           {"cubic", "m-3"},
    };
    const auto it = lowest.find(system);
    return it != lowest.end() ? it->second : std::string();
}

MergeStats merge_statistics(const ReportInput& in) {
    MergeStats m;
    if (in.laue.empty()) {
        m.message = "no Laue class given";
        return m;
    }
    const gemmi::SpaceGroup* sg = group_of(in.laue);
    if (sg == nullptr) {
        m.message = "unknown Laue class or space group '" + in.laue + "'";
        return m;
    }
    m.group = sg->xhm();
    m.laue = sg->laue_str();
    bool is_laue = false;
    group_of(in.laue, &is_laue);
    m.space_group = !is_laue;
    const gemmi::GroupOps gops = sg->operations();
    const gemmi::ReciprocalAsu asu(sg);
    const Resolution res(in);

    struct Group {
        double sum_i = 0.0, sum_var = 0.0;
        std::vector<double> i;
    };
    std::map<gemmi::Op::Miller, Group> groups;
    double smax = 0.0;
    for (const ReportReflection* r : measured_once(in.refl)) {
        if (!is_accepted(*r)) continue;
        const gemmi::Op::Miller hkl{{r->hkl[0], r->hkl[1], r->hkl[2]}};
        if (hkl == gemmi::Op::Miller{{0, 0, 0}}) continue;
        // A reflection the space group extinguishes is no data of the
        // structure: counted, not merged.
        if (gops.is_systematically_absent(hkl)) {
            ++m.n_absent;
            continue;
        }
        gemmi::Op::Miller key;
        try {
            key = asu.to_asu(hkl, gops).first;
        } catch (const std::exception& e) {
            m.message = std::string("cannot bring reflections to the asymmetric unit: ") + e.what();
            return m;
        }
        Group& g = groups[key];
        g.sum_i += r->i;
        g.sum_var += r->sigma * r->sigma;
        g.i.push_back(r->i);
        ++m.n_obs;
        const double s = res.stol(*r);
        if (std::isfinite(s)) smax = std::max(smax, s);
    }
    if (groups.empty()) {
        m.message = "no accepted reflections to merge";
        return m;
    }
    m.n_unique = static_cast<int>(groups.size());
    m.redundancy = static_cast<double>(m.n_obs) / m.n_unique;
    double num = 0.0, den = 0.0, sum_sig = 0.0, sum_mean = 0.0;
    for (const auto& [hkl, g] : groups) {
        const double n = static_cast<double>(g.i.size());
        const double mean = g.sum_i / n;
        const double sig_mean = std::sqrt(g.sum_var) / n;
        sum_sig += sig_mean;
        sum_mean += mean;
        if (mean > 2.0 * sig_mean) ++m.n_gt;
        if (g.i.size() < 2) continue;
        for (double v : g.i) {
            num += std::fabs(v - mean);
            den += v;
        }
    }
    if (den > 0.0) m.rint = num / den;
    if (sum_mean > 0.0) m.rsigma = sum_sig / sum_mean;
    if (smax > 0.0) m.d_min = 0.5 / smax;

    // Completeness: every reflection of the asymmetric unit out to the
    // highest sin(theta)/lambda of the data, less those the centring
    // extinguishes.
    // |h| <= a / d_min, the length of the real axis over the spacing.
    std::array<int, 3> lim{};
    double box = 1.0;
    for (std::size_t j = 0; j < 3; ++j) {
        const double hmax = std::floor(2.0 * smax * in.cell[j].value) + 1.0;
        lim[j] = std::isfinite(hmax) && hmax < 1.0e4 ? static_cast<int>(hmax) : 10000;
        box *= 2.0 * lim[j] + 1.0;
    }
    // A box beyond some 10^8 indices is a cell no four-circle data set has.
    if (res.from_cell() && smax > 0.0 && box <= 1.0e8) {
        const double tol = smax * (1.0 + 1e-9);
        int measured_inside = 0;
        for (int h = -lim[0]; h <= lim[0]; ++h)
            for (int k = -lim[1]; k <= lim[1]; ++k)
                for (int l = -lim[2]; l <= lim[2]; ++l) {
                    const gemmi::Op::Miller hkl{{h, k, l}};
                    if ((h == 0 && k == 0 && l == 0) || !asu.is_in(hkl)) continue;
                    if (res.stol_hkl({h, k, l}) > tol || gops.is_systematically_absent(hkl)) continue;
                    ++m.n_possible;
                    if (groups.count(hkl) != 0) ++measured_inside;
                }
        if (m.n_possible > 0) m.completeness = 100.0 * measured_inside / m.n_possible;
    }
    m.ok = true;
    return m;
}

}  // namespace tarnivox::report
