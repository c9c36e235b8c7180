#include "output/log_file.h"

#include <string>
#include <string_view>

#include "core/store.h"
#include "io/clock.h"
#include "io/file_records.h"
#include "io/layout.h"
#include "io/units.h"
#include "output/reports.h"

namespace tarnivox {
namespace {

constexpr std::string_view LOG_HEADER =
    "(6X,'THIS FILE CREATED BY TARNIVOX ON  ',A24,/,/,6X,'INPUT DATA FILE WAS: ',A50,/,6X,"
    "'OUTPUT DATA FILE WAS: ',A50,/,'  TITLE ',A60,/,/)";

// Parameter names in ten columns each, in the order of the profile vector.
constexpr std::string_view PARAMETER_NAMES = "BACKGROUNDFWHM      INTENSITY POSITION  ETA       IRATIO";

constexpr std::string_view COUNTS_LAYOUT =
    "(/,8X,'REFLECTIONS AS CLASSIFIED BY INTEGRATION',/,8X,'FILE: ',A20,/,/,"
    "8X,'PASSED                         ',I5,/,"
    "8X,'ERROR IN LEAST SQUARES         ',I5,/,"
    "8X,'NO CONVERGENCE IN LEAST-SQUARES',I5,/,"
    "8X,'DATA ERROR                     ',I5,/,"
    "8X,'BACKGROUND OUT OF BOUNDS       ',I5,/,"
    "8X,'INTENSITY REFINED < 0          ',I5,/,"
    "8X,'POSITION OUT OF RANGE          ',I5,/,"
    "8X,'WIDTH OUT OF RANGE             ',I5,/,"
    "8X,'ALPHA1/2 RATIO OUT OF RANGE    ',I5,/,"
    "8X,'RWP EXCEEDS SET LIMIT          ',I5,/,"
    "8X,'ETA PARAMETER OUT OF RANGE     ',I5,/)";

std::string first(std::string_view s, std::size_t n) { return std::string(s.substr(0, n)); }

std::string background_text() {
    if (G.IFIX(P_BACKGROUND) != 1) return "FIXED TO AVERAGE OF END STEPS";
    switch (G.IBACK) {
        case 1: return "FIXED TO AVERAGE VALUE FOR 2THETA";
        case 2:
            return format_record("('FIXED AT ',F4.2,'EXP(-',F4.2,'*TTH) + ',F4.2)",
                                 {G.BGEXPA, G.BGEXPB, G.BGEXPC});
        case 3: return format_record("('FIXED TO AVERAGE OF ',I3,' END STEPS')", {G.NBACK});
        default: return "FIXED TO AVERAGE OF END STEPS";
    }
}

std::string position_text() {
    const bool refined = G.IREF(P_POSITION) != 0;
    if (G.IFIX(P_POSITION) == 1) {
        if (refined) return "REFINED, BUT FIXED FROM UB IF FAIL ON PASS 1";
        // Weak-data runs refine the position of a peak strong enough to
        // fix it; the log says so rather than claim every one was held.
        return G.OWNPOS == 1 ? "FIXED FROM UB, REFINED FOR PEAKS OVER 30 ESD"
                             : "FIXED TO POSITION CALCULATED FROM UB";
    }
    return refined ? "REFINED" : "FIXED AT PEAK MAXIMUM";
}

// How parameter k was treated in the run, in words.
std::string parameter_text(int k) {
    if (k == 4) return position_text();
    if (G.IREF(k) != 0) return "REFINED";
    switch (k) {
        case 1: return background_text();
        case 2:
            if (G.IFIX(P_FWHM) == 1)
                return format_record("('FIXED AT ',F5.3,'+',F5.3,'TAN(THETA)')", {G.FWHMA, G.FWHMB});
            return "FIXED AT VALUE DETERMINED FROM PROFILE";
        case 3: return "FIXED";
        case 5: return format_record("('FIXED AT ',F4.2)", {G.ETA0});
        default: return format_record("('FIXED AT ',F4.2)", {G.A2RATIO});
    }
}

}  // namespace

void WRITE_FIT_SUMMARY(int unit) {
    write_record(unit, "(/,8X,'PROFILE PARAMETER REFINEMENT SETTINGS:',/)");
    for (int k = 1; k <= 6; ++k) {
        const std::string text = parameter_text(k);
        write_record(unit, "(8X,A10,1X,A50)",
                     {PARAMETER_NAMES.substr(static_cast<std::size_t>(10 * (k - 1)), 10), text});
    }
    if (G.UBFLAG == 1) {
        write_record(unit, "(/,8X,'CELL  ',7F10.4)", {G.CELL});
        for (int i = 1; i <= 3; ++i)
            write_record(unit, "(8X,'UB    ',3F10.6)", {G.UB(i, 1), G.UB(i, 2), G.UB(i, 3)});
    }
    const std::string file20 = first(G.INFILE.str(), 20);
    // Counts of sets beyond 99,999 reflections take the columns they need.
    write_record_fit(unit, COUNTS_LAYOUT,
                     {file20, G.NFITC(1), G.NFITC(2), G.NFITC(3), G.NFITC(4), G.NFITC(5), G.NFITC(6),
                      G.NFITC(7), G.NFITC(8), G.NFITC(9), G.NFITC(10), G.NFITC(11)});
    if (G.SKIPWEAK == 1)
        write_record(unit, "(8X,'WEAK REFLECTIONS EXCLUDED FROM THESE TOTALS',/)");
    else
        write_record(unit, "(8X,'WEAK REFLECTIONS INCLUDED IN THESE TOTALS',/)");
    write_record_fit(
        unit, "(11X,I5,' REFLECTIONS REFITTED, ',I5,' RECOVERED',/,11X,I5,' TOTAL REFLECTIONS PASSED')",
        {G.NPASS2, G.NFITC(12), G.NFITC(12) + G.NFITC(1)});
    if (G.OUTOPEN == 1) {
        const std::string out20 = first(G.OUTFILE.str(), 20);
        write_record(unit, "(/,11X,'THESE REFLECTIONS WRITTEN TO: ',A20)", {out20});
        // The file also holds the rejected reflections, with the intensity
        // summed over their expected peaks (or leaves them out).
        write_record_fit(unit, "(11X,I5,' REJECTED, WRITTEN FROM SUMMATION')", {G.NSUMW});
        if (G.NREJOM > 0) write_record_fit(unit, "(11X,I5,' REJECTED, LEFT OUT')", {G.NREJOM});
    }
    write_record(unit, "(/,1X,60('*'),/,/)");
}

void WRITE_AUTOFIT_SUMMARY_HEADER(int unit) {
    write_record(unit, "(/,/,1X,60('*'),/,11X,'SUMMARY OF REFLECTIONS FIT WITH AUTOFIT UTILITY')");
}

int CREATE_LOG(const std::string& path) {
    if (open_chosen_log(path) != 0) return 1;
    WRITE_LOG_HEADER();
    return 0;
}

void WRITE_LOG_HEADER() {
    const std::string date = date_text();
    const std::string in50 = first(G.INFILE.str(), 50);
    const std::string out50 = first(G.OUTFILE.str(), 50);
    const std::string title(G.TITLE.str());
    write_record(LU_LOG, LOG_HEADER, {date, in50, out50, title});
    WRITE_INPUT(LU_LOG);
    flush_unit(LU_LOG);
}

void WRITE_INPUT(int unit) {
    int total = 0;
    for (int i = 1; i <= NCLASSES; ++i) total += G.NCLASS(i);
    const std::string name(G.INFILE.str().substr(0, 20));
    // Counts of sets beyond 99,999 reflections take the columns they need.
    if (G.NCLASS(7) != 0) {
        write_record_fit(unit,
                         "(/,/,6X,' REFLECTIONS AS CLASSIFIED IN INPUT FILE: ',A20,/,"
                         "6X,'  NORMAL REFLECTIONS:          ',I5,/,"
                         "6X,'  STANDARDS:                   ',I5,/,/,"
                         "6X,'  TOTAL NUMBER OF REFLECTIONS: ',I5)",
                         {name, G.NCLASS(7), G.NCLASS(6), total});
        return;
    }
    write_record_fit(
        unit,
        "(/,/,6X,' REFLECTIONS AS CLASSIFIED IN INPUT FILE: ',A20,/,"
        "6X,'  WEAK REFLECTIONS NOT RESCANNED:         ',I5,/,"
        "6X,'  WEAK REFLECTIONS RESCANNED, MIN SPEED:  ',I5,/,"
        "6X,'  NORMAL REFLECTIONS RESCANNED:           ',I5,/,"
        "6X,'  STRONG REFLECTIONS NOT RESCANNED:       ',I5,/,"
        "6X,'  FILTERED REFLECTIONS:                   ',I5,/,"
        "6X,'  STANDARDS:                              ',I5,/,/,"
        "6X,'  TOTAL NUMBER OF REFLECTIONS:            ',I5)",
        {name, G.NCLASS(1), G.NCLASS(2), G.NCLASS(3), G.NCLASS(4), G.NCLASS(5), G.NCLASS(6), total});
}

}  // namespace tarnivox
