#include "operations/scan_walk.h"

#include "core/store.h"
#include "import/stddata.h"
#include "io/units.h"

namespace tarnivox {

int read_reflection(int mode, int nref, const Arr1<int, 3>& hkl, bool quiet) {
    int status = quiet ? -1 : 0;
    READ_SCAN_STDDATA(G.LUSCR, mode, nref, hkl, status);
    return status;
}

bool ends_walk(int status) { return status == READER_END || status == READER_READ_ERROR; }

bool have_reflection() { return G.NPTS >= 1; }

bool data_set_open() { return unit_is_open(G.LUSCR); }

bool data_set_to_walk(Messages& messages) {
    if (data_set_open()) return true;
    messages.message(Message{"TARNIVOX", NO_DATA_SET_TEXT, MessageKind::Information});
    return false;
}

void walk_reflections(const std::function<bool()>& visit) {
    int status = 0;
    const Arr1<int, 3> no_hkl{};
    G.WALKED = 1;
    SKIP_HEADER_STDDATA(G.LUSCR, status);
    while (status == 0) {
        status = read_reflection(0, 0, no_hkl, true);
        if (status == READER_NOT_FOUND) {
            status = 0;
            continue;
        }
        if (status != 0) break;
        if (G.NPTS < 1 || G.NPTS > MAXSTEPS) continue;
        if (!visit()) break;
    }
    SKIP_HEADER_STDDATA(G.LUSCR, status);
}

}  // namespace tarnivox
