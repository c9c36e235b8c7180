#include "support/scan_file.h"

#include "import/stddata.h"

namespace tarnivox::test {

int write_scan_record(int lu, int nref, const Arr1<int, 3>& hkl, const Arr1<double, 4>& angles,
                      std::span<const long long> counts, char flag, int isctype) {
    double scale = 1.0;
    int status = -1;
    WRITE_REF_STDDATA(lu, status, nref, hkl, 0.0, angles, static_cast<int>(counts.size()), 0.02, scale,
                      isctype, flag, counts);
    return status;
}

}  // namespace tarnivox::test
