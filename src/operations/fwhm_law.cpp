#include "operations/fwhm_law.h"

#include "core/store.h"
#include "fitting/width_law.h"
#include "output/refinement_records.h"

namespace tarnivox {

FwhmLawResult fit_fwhm_law(Messages& messages) {
    FwhmLawResult r;
    if (G.PREPFLAG != 1) {
        messages.message({"Tarnivox", "Run PreProcess first", MessageKind::Error});
        return r;
    }
    WidthLaw law;
    const int status = fit_width_law(G.NUBREF, G.TTHREF, G.FWREF, G.FWSREF, law);
    if (status == WIDTH_LAW_ONE_ANGLE)
        messages.message({"Tarnivox", "All refined widths lie at one 2theta: no FWHM law can be fitted",
                          MessageKind::Error});
    if (law.all_widths)
        messages.message({"Tarnivox",
                          "Fewer than 3 widths refined to 6% or better: the FWHM law is fitted to every "
                          "refined width, weak ones included (they come out too narrow)",
                          MessageKind::Notice});
    // The law as fitted, whatever the user then keeps, and from which widths.
    if (law.fitted > 0)
        log_width_law(law.fitted, law.used, law.all_widths, law.a, law.esd_a, law.b, law.esd_b);
    r.found = status == WIDTH_LAW_OK;
    r.a = law.a, r.b = law.b, r.esd_a = law.esd_a, r.esd_b = law.esd_b;
    r.used = law.used, r.fitted = law.fitted, r.all_widths = law.all_widths;
    return r;
}

void store_fwhm_law(double a, double b) {
    G.FWHMA = a;
    G.FWHMB = b;
}

void save_fwhm_law(double a, double b) {
    store_fwhm_law(a, b);
    log_saved_width_law(G.FWHMA, G.FWHMB);
}

FwhmLawResult learn_fwhm_law(Messages& messages) {
    const FwhmLawResult r = fit_fwhm_law(messages);
    if (r.found) store_fwhm_law(r.a, r.b);
    return r;
}

}  // namespace tarnivox
