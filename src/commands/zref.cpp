#include "commands/zref.h"

#include <cmath>

#include "core/store.h"
#include "io/layout.h"
#include "io/units.h"
#include "refine/zref.h"
#include "ui/dialogs.h"
#include "ui/preprocess_state.h"
#include "ui/toolkit/toolkit.h"

namespace tarnivox {
namespace {

constexpr int NOTICE_ICON = 3;
// Groups the refinement list can hold (1000 entries / 8).
constexpr int MAXGROUPS = MAXREFLIST / ZREF_SETTINGS;

bool log_open() { return G.LOGOPEN == 1; }

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

void log_group(int number, int first, const ZrefSettings& a) {
    write_record(
        LU_LOG,
        "(/,' Results For Reflection No. ',I2,' : hkl= ',3I5,/,22X,'2Theta',4X,'Omega',6X,'Chi',6X,'Phi')",
        {number, G.IHREF(first, 1), G.IHREF(first, 2), G.IHREF(first, 3)});
    for (int k = 1; k <= ZREF_SETTINGS; ++k)
        write_record(LU_LOG, "(18X,4F10.4)", {a(k, 1), a(k, 2), a(k, 3), a(k, 4)});
}

void log_result(const ZrefResults& res, double phi) {
    const double length = std::sqrt(res(7) * res(7) + res(8) * res(8) + res(9) * res(9));
    write_record(
        LU_LOG,
        "(/,/,'     TRUE ANGLES: ',4F10.4,/,'          ZEROES: ',3F10.4,/,' CRYSTAL OFFSETS: ',3F10.4,/,"
        "'         DELTA-H: ',F10.4,'   LENGTH OF OFFSET = ',F10.4)",
        {res(1), res(2), res(3), phi, res(4), res(5), res(6), res(7), res(8), res(9), res(10), length});
}

}  // namespace

void RUN_ZREF() {
    WAITBOX(1);
    SET_PREPROCESS(1, 1);
    if (log_open()) write_record(LU_LOG, "(/,80('*'),/,10X,'OUTPUT FROM ZREF',/)");

    Arr1<double, 4> pf;
    for (int i = 1; i <= 4; ++i) pf(i) = static_cast<double>(G.PARITY(i));
    // What each evaluated group leaves for the list: indices and true angles.
    static Arr2<int, MAXGROUPS, 3> ih;
    static Arr2<double, MAXGROUPS, 4> ang;
    // The first member's width, its esd and background: the group's own,
    // measured at the same |2theta|, so that "Calc FWHM" on the rebuilt
    // list pairs each width with its reflection.
    static Arr2<double, MAXGROUPS, 3> profile;
    int groups = 0;
    const int n = G.NUBREF;
    for (int first = next_zref_group(G.IHREF, n, 1); first != 0;
         first = next_zref_group(G.IHREF, n, first + ZREF_SETTINGS)) {
        ZrefSettings a = group_settings(first);
        if (log_open()) log_group(groups + 1, first, a);
        ZrefResults res;
        int ierr = 0;
        CALC_OFFSETS(a, pf, G.GONCON1, G.GONCON2, res, ierr);
        if (ierr != ZREF_OK) {
            if (log_open())
                write_record(LU_LOG, "(/,/,'  SUBROUTINE CALC_OFFSETS RETURNED IERR =',I2)", {ierr});
            continue;
        }
        ++groups;
        for (int j = 1; j <= 3; ++j) {
            ih(groups, j) = G.IHREF(first, j);
            ang(groups, j) = res(j);
        }
        ang(groups, 4) = G.PHIREF(first);
        profile(groups, 1) = G.FWREF(first);
        profile(groups, 2) = G.FWSREF(first);
        profile(groups, 3) = G.BGREF(first);
        if (log_open()) log_result(res, G.PHIREF(first));
    }
    WAITBOX(0);
    if (groups == 0) {
        GMDISPLAYMESSAGEBOX("TARNIVOX", "No reflections processed by ZREF", NOTICE_ICON, GM_BUTTONS_OK);
        return;
    }
    G.NUBREF = groups;
    for (int g = 1; g <= groups; ++g) {
        for (int j = 1; j <= 3; ++j) G.IHREF(g, j) = ih(g, j);
        G.TTHREF(g) = ang(g, 1);
        G.OMREF(g) = ang(g, 2);
        G.CHIREF(g) = ang(g, 3);
        G.PHIREF(g) = ang(g, 4);
        G.FWREF(g) = profile(g, 1);
        G.FWSREF(g) = profile(g, 2);
        G.BGREF(g) = profile(g, 3);
    }
    GMDISPLAYMESSAGEBOX("TARNIVOX", format_record("(I5,' Reflection groups processed by Zref')", {groups}),
                        NOTICE_ICON, GM_BUTTONS_OK);
}

}  // namespace tarnivox
