#include "output/refinement_records.h"

#include <cmath>

#include "core/store.h"
#include "io/layout.h"
#include "io/units.h"
#include "output/log_file.h"
#include "refine/refinement_list.h"

namespace tarnivox {
namespace {

bool log_open() { return G.LOGOPEN == 1; }

void log_record(std::string_view layout, std::initializer_list<OutItem> items = {}) {
    if (log_open()) write_record(LU_LOG, layout, items);
}

// Names of the crystal systems in record B, by symmetry choice.
const char* const SYSTEM_NAMES[] = {
    "Monoclinic (B-unique)", "Monoclinic (C-unique)", "Orthorhombic", "Tetragonal", "Hexagonal", "Cubic"};

}  // namespace

void log_preprocess_summary(double threshold, double raised_to, int stored, int qualified) {
    if (!log_open()) return;
    // The list could not hold every reflection above the typed threshold.
    if (raised_to > 0.0)
        write_record(LU_LOG,
                     "(/,' I/SIGMA THRESHOLD RAISED FROM ',F5.1,' TO ',F7.1,': THE ',I4,' STRONGEST OF ',I7,"
                     "' REFLECTIONS KEPT')",
                     {threshold, raised_to, stored, qualified});
    write_record(LU_LOG, "(/,/,1X,60('*'),/,11X,'SUMMARY OF REFLECTIONS FIT WITH PREPROCESS UTILITY')");
    WRITE_FIT_SUMMARY(LU_LOG);
    flush_unit(LU_LOG);
}

void log_ub_heading() { log_record("(/,/,' RESULTS OF LEAST SQUARES REFINEMENT OF CELL PARAMETERS')"); }

void log_ub_method(UbMethod method, int crystal_system) {
    switch (method) {
        case UbMethod::Symmetry:
            log_record("(/,'  SYMMETRY-CONSTRAINED TO ',A25,' NO XTAL OFFSETS')",
                       {SYSTEM_NAMES[crystal_system - 1]});
            break;
        case UbMethod::Offsets: log_record("(/,'  UNCONSTRAINED REFINEMENT WITH CRYSTAL OFFSETS')"); break;
        case UbMethod::OmegaZero: log_record("(/,'  UNCONSTRAINED REFINEMENT WITH OMEGA ZERO')"); break;
        case UbMethod::Plain: log_record("(/,'  UNCONSTRAINED REFINEMENT ')"); break;
    }
}

void log_ub_failure(const std::string& reason) {
    if (!log_open()) return;
    write_record(LU_LOG,
                 "(/,'  FAILURE IN LEAST-SQUARES PROCEDURE, INPUT DATA WERE:',/,/,"
                 "'   H   K   L  2THETA   OM(FIT)    CHI      PHI   ',/)");
    for (int n = 1; n <= G.NUBREF; ++n)
        write_record(
            LU_LOG, "(3I4,4F9.3)",
            {G.IHREF(n, 1), G.IHREF(n, 2), G.IHREF(n, 3), G.TTHREF(n), G.OMREF(n), G.CHIREF(n), G.PHIREF(n)});
    write_record(
        LU_LOG,
        "(/,'  REFINEMENT FAILED: ',A,/,'  ORIENTATION MATRIX, CELL, OMEGA-ZERO AND OFFSETS ARE UNCHANGED')",
        {reason});
    flush_unit(LU_LOG);
}

void log_ub_results(bool with_offsets, bool zero_refined, bool offsets_refined) {
    if (with_offsets)
        log_record(
            "('   H   K   L  2TH(DET)  2TH(cal) OM(FIT)     CHI     PHI   OM(UB) + OM(OFF) = OM(CALC)   "
            "DEL-OM',/)");
    else
        log_record("(/,'   H   K   L  2TH(det)  2TH(cal) OM(FIT)     CHI     PHI   OM(UB)   DEL-OM',/)");
    double sum = 0.0, largest = 0.0;
    for (int n = 1; n <= G.NUBREF; ++n) {
        const UbTableRow r = ub_table_row(n, with_offsets);
        if (with_offsets)
            log_record("(3I4,2F9.4,7F9.3)",
                       {G.IHREF(n, 1), G.IHREF(n, 2), G.IHREF(n, 3), G.TTHREF(n), r.tth_cal, G.OMREF(n),
                        G.CHIREF(n), G.PHIREF(n), r.om_ub, r.om_off, r.om_calc, r.del});
        else
            log_record("(3I4,2F9.4,5F9.3)",
                       {G.IHREF(n, 1), G.IHREF(n, 2), G.IHREF(n, 3), G.TTHREF(n), r.tth_cal, G.OMREF(n),
                        G.CHIREF(n), G.PHIREF(n), r.om_ub, r.del});
        sum += std::fabs(r.del);
        if (std::fabs(r.del) > largest) largest = std::fabs(r.del);
    }
    log_record(
        "(/,/,'  Unconstrained Orientation Matrix ',/,5X,'(For Busing Levy axes and circle parities)',/)");
    for (int i = 1; i <= 3; ++i) log_record("(3F12.5)", {G.UB(i, 1), G.UB(i, 2), G.UB(i, 3)});
    log_record("(/,/,' CELL',12X,3F9.5,3F8.3,F10.4)", {G.CELL});
    // A cell fixed without redundancy has no esds; zeros would read as exact.
    if (G.CELLNOESD == 1)
        log_record("(' ESDs',12X,'NONE: ',I1,' REFLECTIONS FIX THE CELL WITHOUT REDUNDANCY')", {G.NUBREF});
    else
        log_record("(' ESDs',12X,3F9.5,3F8.3,F10.4)", {G.CELLESD});
    log_record(
        "(/,5X,I5,' REFLECTIONS USED',/,' AVERAGE DELTA-OMEGA = ',F7.4,/,"
        "'     MAX OMEGA ERROR = ',F7.4,/,'          OMEGA-ZERO = ',F7.4,/,/,'     CRYSTAL OFFSETS = ',"
        "3F10.4,/)",
        {G.NUBREF, sum / G.NUBREF, largest, G.OMZERO, G.XTALOFF});
    if (zero_refined) log_record("('      ESD OMEGA-ZERO = ',F7.4)", {G.OMZESD});
    if (offsets_refined) log_record("(' ESD CRYSTAL OFFSETS = ',3F10.4,/)", {G.XOFFESD});
    if (log_open()) flush_unit(LU_LOG);
}

void log_width_law(int fitted, int used, bool all_widths, double a, double esd_a, double b, double esd_b) {
    if (!log_open()) return;
    write_record(LU_LOG,
                 "(/,' FWHM = A + B.TAN(|THETA|) FROM ',I4,' OF ',I4,' REFINED WIDTHS',A,/,"
                 "'   A = ',F8.4,' ESD ',F7.4,'   B = ',F8.4,' ESD ',F7.4)",
                 {fitted, used,
                  all_widths ? std::string(" (ALL: FEWER THAN 3 WITH ESD AT MOST 6% OF THE WIDTH)")
                             : std::string(" (ESD AT MOST 6% OF THE WIDTH)"),
                  a, esd_a, b, esd_b});
    flush_unit(LU_LOG);
}

void log_saved_width_law(double a, double b) {
    if (!log_open()) return;
    write_record(LU_LOG, "(/,' FWHM LAW SAVED FOR THE FITS:   A = ',F8.4,'   B = ',F8.4)", {a, b});
    flush_unit(LU_LOG);
}

void log_zref_heading() { log_record("(/,80('*'),/,10X,'OUTPUT FROM ZREF',/)"); }

void log_zref_group(int number, const Arr1<int, 3>& hkl, const ZrefSettings& a) {
    if (!log_open()) return;
    write_record(
        LU_LOG,
        "(/,' Results For Reflection No. ',I2,' : hkl= ',3I5,/,22X,'2Theta',4X,'Omega',6X,'Chi',6X,'Phi')",
        {number, hkl(1), hkl(2), hkl(3)});
    for (int k = 1; k <= ZREF_SETTINGS; ++k)
        write_record(LU_LOG, "(18X,4F10.4)", {a(k, 1), a(k, 2), a(k, 3), a(k, 4)});
}

void log_zref_failure(int ierr) {
    log_record("(/,/,'  SUBROUTINE CALC_OFFSETS RETURNED IERR =',I2)", {ierr});
}

void log_zref_result(const ZrefResults& res, double phi) {
    if (!log_open()) return;
    const double length = std::sqrt(res(7) * res(7) + res(8) * res(8) + res(9) * res(9));
    write_record(
        LU_LOG,
        "(/,/,'     TRUE ANGLES: ',4F10.4,/,'          ZEROES: ',3F10.4,/,' CRYSTAL OFFSETS: ',3F10.4,/,"
        "'         DELTA-H: ',F10.4,'   LENGTH OF OFFSET = ',F10.4)",
        {res(1), res(2), res(3), phi, res(4), res(5), res(6), res(7), res(8), res(9), res(10), length});
}

void log_delta_d_heading() {
    log_record("(/,/,'    RESULTS OF DELTA-D/D CALCULATION',/,'   H   K   L  2TH(OBS) 2TH(cal) DELTAD/D')");
}

void log_delta_d_entry(const Arr1<int, 3>& hkl, double tth_obs, double tth_cal, const double* ratio) {
    if (ratio != nullptr)
        log_record("(3I4,2F9.4,F10.6)", {hkl(1), hkl(2), hkl(3), tth_obs, tth_cal, *ratio});
    else
        // A reflection without a d-spacing (a 2theta of 0) has no delta-d/d.
        log_record("(3I4,2F9.4)", {hkl(1), hkl(2), hkl(3), tth_obs, tth_cal});
}

void log_delta_d_summary(double min, double max, double average) {
    // The F10.6 values of "(/,'   MINIMUM VALUE OF DELTA-D/D = ',F10.6, ..." are
    // written whole, since the empty list reports the start values 1000 and
    // -1000, one and two columns wider than F10.6.
    const auto f10_6 = [](double v) { return format_fixed_whole(v, 10, 6); };
    log_record(
        "(/,'   MINIMUM VALUE OF DELTA-D/D = ',A,/,'   MAXIMUM VALUE OF DELTA-D/D = ',A,/,"
        "'   AVERAGE VALUE OF DELTA-D/D = ',A,/,/)",
        {f10_6(min), f10_6(max), f10_6(average)});
}

}  // namespace tarnivox
