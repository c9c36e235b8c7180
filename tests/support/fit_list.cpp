#include "support/fit_list.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "core/store.h"
#include "fitting/fitscan.h"
#include "import/convert.h"
#include "import/stddata.h"
#include "io/units.h"
#include "params/parameters.h"
#include "support/scratch.h"
#include "ui/fit_settings.h"

namespace tarnivox::test {

void accept_any_background(const std::filesystem::path& par) {
    auto lines = read_lines(par);
    std::ofstream out(par);
    for (std::string& l : lines) {
        if (l.rfind("FITLIM -1.0 1.0 ", 0) == 0) l = "FITLIM 0.0 1.0E5 " + l.substr(16);
        out << l << '\n';
    }
}

void fit_strong_reflections_into_the_list(const std::filesystem::path& data, const std::filesystem::path& par,
                                          double threshold) {
    close_all_units();
    G.INFMT = 1;
    G.INFILE = data.filename().string();
    ASSERT_EQ(open_unit(LU_INPUT, data.string(), OpenMode::Read), 0);
    ASSERT_EQ(open_unit(LU_PARAM, par.string(), OpenMode::Read), 0);
    // As "Open data file" leaves the run: parameters read, data imported,
    // the first reflection current.
    READ_PARAMETERS();
    int status = 0;
    CONVERT_FILE(status);
    SKIP_HEADER_STDDATA(G.LUSCR, status);
    const Arr1<int, 3> none;
    READ_SCAN_STDDATA(G.LUSCR, 0, 0, none, status);
    G.NUBREF = 0;
    WRITE_FIT_PARAMETERS();
    SET_FIT_PARAMETERS();
    WRITE_FIT_PARAMETERS();
    for (status = 0; status == 0;) {
        if (G.ISCTYPE == 0 && G.NUBREF < MAXREFLIST) {
            SET_FIT_PARAMETERS();
            READ_FIT_PARAMETERS();
            int ierr = 0;
            FITSCAN(0, ierr);
            if (G.FITSTAT.str()[0] != 'R' && G.FITSIG > 0.0 && G.FITI / G.FITSIG > threshold) {
                const int n = ++G.NUBREF;
                for (int j = 1; j <= 3; ++j) G.IHREF(n, j) = G.IHKL(j);
                G.TTHREF(n) = G.ANGLES(1);
                G.OMREF(n) = G.PAR(4);
                G.CHIREF(n) = G.ANGLES(3);
                G.PHIREF(n) = G.ANGLES(4);
                G.FWREF(n) = G.PAR(2);
                G.FWSREF(n) = G.PARESD(2);
                G.BGREF(n) = G.PAR(1);
            }
        }
        status = -1;  // no "End of File" box
        READ_SCAN_STDDATA(G.LUSCR, 0, 0, none, status);
    }
}

}  // namespace tarnivox::test
