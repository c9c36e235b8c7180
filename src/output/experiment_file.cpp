#include "output/experiment_file.h"

#include <string>
#include <string_view>

#include "core/store.h"
#include "io/clock.h"
#include "io/layout.h"
#include "io/units.h"
#include "output/log_file.h"

namespace tarnivox {
namespace {

constexpr std::string_view EXP_HEADER =
    "(6X,'THIS FILE CREATED BY TARNIVOX ON  ',A24,/,/,6X,'INPUT DATA FILE WAS: ',A12,6X,"
    "'OUTPUT DATA FILE WAS: ',A12,/,'TITLE ',A60,/,/)";

}  // namespace

void WRITE_INSTRUMENT_BLOCK(int unit) {
    // Angles and UB are held in Busing-Levy conventions once read, so the
    // parities and axes are always the identity here.
    write_record(unit,
                 "(/,/,6X,'Diffractometer parameters: ',/,"
                 "6X,'Note: Data file has angles in Busing-Levy, UB is on Busing Levy Axes',/)");
    write_record(unit, "('WAVEL ',I5,3F10.6)", {G.NWAVE, G.WAVE1, G.WAVE2, G.A2RATIO});
    write_record(unit, "('MONO  ',I5,2F10.4,I5)", {G.IMONO, G.MONO2TH, G.MONOANG, G.MONODIR});
    write_record(unit, "('PARITY 1,1,1,1',/,'BLAXES 1,2,3',/,/)");
}

int CREATE_EXP(const std::string& path) {
    // Unit 26 may still hold a file of an earlier command; only the file
    // named now receives the report.
    close_unit(LU_EXP);
    if (open_unit(LU_EXP, path, OpenMode::Output) != 0) return 1;
    WRITE_EXP_REPORT();
    return 0;
}

void WRITE_EXP_REPORT() {
    const std::string date = date_text();
    const std::string in12(G.INFILE.str().substr(0, 12));
    const std::string out12(G.OUTFILE.str().substr(0, 12));
    const std::string title(G.TITLE.str());
    write_record(LU_EXP, EXP_HEADER, {date, in12, out12, title});
    WRITE_INPUT(LU_EXP);
    WRITE_FIT_SUMMARY(LU_EXP);
    if (G.UBFLAG == 1) {
        write_record(LU_EXP, "('CELL  ',7F10.4)", {G.CELL});
        for (int i = 1; i <= 3; ++i) write_record(LU_EXP, "('UB    ',3F10.6)", {G.UB(i, 1), G.UB(i, 2), G.UB(i, 3)});
    }
    WRITE_INSTRUMENT_BLOCK(LU_EXP);
    close_unit(LU_EXP);
}

}  // namespace tarnivox
