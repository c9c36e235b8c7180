#include "operations/zref.h"

#include <cstddef>

#include "core/store.h"
#include "io/layout.h"
#include "output/refinement_records.h"
#include "refine/zref.h"

namespace tarnivox {
namespace {

ZrefSettings group_settings(int first) {
    ZrefSettings a;
    for (int k = 1; k <= ZREF_SETTINGS; ++k) {
        const int n = first + k - 1;
        a(k, 1) = G.TTHREF(n);
        a(k, 2) = G.OMREF(n);
        a(k, 3) = G.CHIREF(n);
        a(k, 4) = G.PHIREF(n);
    }
    return a;
}

Arr1<int, 3> indices_of(int n) {
    Arr1<int, 3> h;
    for (int j = 1; j <= 3; ++j) h(j) = G.IHREF(n, j);
    return h;
}

// What an evaluated group leaves for the list: indices and true angles,
// and the first member's width, its esd and background (the group's own,
// measured at the same |2theta|, so that the width law fitted from the
// rebuilt list pairs each width with its reflection).
struct GroupEntry {
    Arr1<int, 3> hkl;
    double tth, om, chi, phi, fw, fws, bg;
};

}  // namespace

ZrefResult run_zref(Messages& messages) {
    const MessageRoute route(messages);
    log_zref_heading();
    Arr1<double, 4> pf;
    for (int i = 1; i <= 4; ++i) pf(i) = static_cast<double>(G.PARITY(i));
    std::vector<GroupEntry> entries;
    ZrefResult result;
    int groups = 0;
    const int n = G.NUBREF;
    for (int first = next_zref_group(G.IHREF, n, 1); first != 0;
         first = next_zref_group(G.IHREF, n, first + ZREF_SETTINGS)) {
        ZrefSettings a = group_settings(first);
        log_zref_group(groups + 1, indices_of(first), a);
        ZrefResults res;
        int ierr = 0;
        CALC_OFFSETS(a, pf, G.GONCON1, G.GONCON2, res, ierr);
        if (ierr != ZREF_OK) {
            log_zref_failure(ierr);
            continue;
        }
        ++groups;
        const Arr1<int, 3> hkl = indices_of(first);
        entries.push_back(
            {hkl, res(1), res(2), res(3), G.PHIREF(first), G.FWREF(first), G.FWSREF(first), G.BGREF(first)});
        result.evaluated.push_back({{hkl(1), hkl(2), hkl(3)},
                                    {res(1), res(2), res(3), G.PHIREF(first)},
                                    {res(4), res(5), res(6)},
                                    {res(7), res(8), res(9)},
                                    res(10)});
        log_zref_result(res, G.PHIREF(first));
    }
    if (groups == 0) {
        messages.message({"TARNIVOX", "No reflections processed by ZREF", MessageKind::Notice});
        return {};
    }
    G.NUBREF = groups;
    for (int g = 1; g <= groups; ++g) {
        const GroupEntry& e = entries[static_cast<std::size_t>(g - 1)];
        for (int j = 1; j <= 3; ++j) G.IHREF(g, j) = e.hkl(j);
        G.TTHREF(g) = e.tth;
        G.OMREF(g) = e.om;
        G.CHIREF(g) = e.chi;
        G.PHIREF(g) = e.phi;
        G.FWREF(g) = e.fw;
        G.FWSREF(g) = e.fws;
        G.BGREF(g) = e.bg;
    }
    messages.message({"TARNIVOX", format_record("(I5,' Reflection groups processed by Zref')", {groups}),
                      MessageKind::Notice});
    result.groups = groups;
    return result;
}

}  // namespace tarnivox
