#include "import/export.h"

#include <array>

#include "core/messages.h"
#include "core/store.h"
#include "import/reader_io.h"
#include "import/stddata.h"
#include "io/layout.h"
#include "io/units.h"

namespace tarnivox {
namespace {

void notice(const char* text) { report_message(MessageKind::Notice, "TARNIVOX", text); }

void end_copy(const char* text) {
    close_unit(LU_NEWSTD);
    report_busy(false);
    notice(text);
}

}  // namespace

int EXPORT_SCAN(const std::string& path) {
    if (open_unit(LU_EXPORT, path, OpenMode::Append, true) != 0) return 1;
    WRITE_SCAN_EXPORT();
    return 0;
}

void WRITE_SCAN_EXPORT() {
    write_record(LU_EXPORT, "('  PROFILE FOR REFLECTION HKL = ',3I5)", {G.IHKL(1), G.IHKL(2), G.IHKL(3)});
    write_record(LU_EXPORT, "('    OMEGA       OBS   COUNTS    CALC')");
    const int n = steps_fit(G.NPTS) ? G.NPTS : 0;
    for (int i = 1; i <= n; ++i)
        write_record(LU_EXPORT, "(1X,F10.3,',',F10.1,',',F10.1)", {G.STEPANG(i), G.COUNTS(i), G.YCALC(i)});
    close_unit(LU_EXPORT);
}

bool COPY_TO_STD() {
    report_busy(true);
    int status = 0;
    SKIP_HEADER_STDDATA(G.LUSCR, status);
    WRITE_HEADER_STDDATA(LU_NEWSTD);
    const Arr1<int, 3> none;
    for (;;) {
        status = 0;
        READ_SCAN_STDDATA(G.LUSCR, 0, 0, none, status);
        if (status == READER_READ_ERROR) {
            end_copy("Error reading scratch file");
            return false;
        }
        if (status == READER_END) {
            end_copy("Standard data file written successfully");
            return true;
        }
        std::array<long long, MAXSTEPS> counts{};
        for (int i = 1; i <= G.NPTS; ++i)
            counts[static_cast<std::size_t>(i - 1)] = truncate_count(G.COUNTS(i));
        WRITE_REF_STDDATA(LU_NEWSTD, status, G.NREF, G.IHKL, 0.0, G.ANGLES, G.NPTS, G.STEP, G.SCALE,
                          G.ISCTYPE, G.RFLAG,
                          std::span<const long long>(counts.data(), static_cast<std::size_t>(G.NPTS)));
        if (status != 0) {
            end_copy("Error writing standard data file");
            return false;
        }
    }
}

}  // namespace tarnivox
