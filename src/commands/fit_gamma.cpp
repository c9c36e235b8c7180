#include "commands/fit_gamma.h"

#include "core/exitint.h"
#include "core/store.h"
#include "fitting/width_law.h"
#include "io/layout.h"
#include "io/units.h"
#include "ui/toolkit/toolkit.h"
#include "ui/widgets.h"

namespace tarnivox {
namespace {
constexpr int NOTICE_ICON = 3;
}  // namespace

void FIT_GAMMA() {
    if (G.PREPFLAG != 1) {
        GMDISPLAYERRORBOX("Tarnivox", "Run PreProcess first");
        return;
    }
    WidthLaw law;
    if (fit_width_law(G.NUBREF, G.TTHREF, G.FWREF, G.FWSREF, law) == WIDTH_LAW_ONE_ANGLE)
        GMDISPLAYERRORBOX("Tarnivox", "All refined widths lie at one 2theta: no FWHM law can be fitted");
    if (law.all_widths)
        GMDISPLAYMESSAGEBOX("Tarnivox",
                            "Fewer than 3 widths refined to 6% or better: the FWHM law is fitted to every "
                            "refined width, weak ones included (they come out too narrow)",
                            NOTICE_ICON, GM_BUTTONS_OK);
    // The law as fitted, whatever the user then keeps, and from which widths.
    if (G.LOGOPEN == 1 && law.fitted > 0) {
        write_record(LU_LOG,
                     "(/,' FWHM = A + B.TAN(|THETA|) FROM ',I4,' OF ',I4,' REFINED WIDTHS',A,/,"
                     "'   A = ',F8.4,' ESD ',F7.4,'   B = ',F8.4,' ESD ',F7.4)",
                     {law.fitted, law.used,
                      law.all_widths ? std::string(" (ALL: FEWER THAN 3 WITH ESD AT MOST 6% OF THE WIDTH)")
                                     : std::string(" (ESD AT MOST 6% OF THE WIDTH)"),
                      law.a, law.esd_a, law.b, law.esd_b});
        flush_unit(LU_LOG);
    }
    GMSETVALUESETTING_REAL(wid(FW_A), law.a);
    GMSETVALUESETTING_REAL(wid(FW_B), law.b);
    GMSETVALUESETTING_REAL(wid(FW_ESDA), law.esd_a);
    GMSETVALUESETTING_REAL(wid(FW_ESDB), law.esd_b);
    const int box = wid(DLG_FWHM);
    GMDRAWWINDOW(box);
    GMSETACTIVEWINDOW(box);
    for (;;) {
        const int command = GMACTION();
        if (command == GM_CLOSE) EXITINT("");
        if (command == 64) break;
        if (command == 65) {
            G.FWHMA = GMENQVALUESETTING(wid(FW_A));
            G.FWHMB = GMENQVALUESETTING(wid(FW_B));
            break;
        }
    }
    GMREMOVEWINDOW(box);
    GMSETACTIVEWINDOW(G.MAINWIN);
}

}  // namespace tarnivox
