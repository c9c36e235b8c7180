// libFuzzer harness for the whole per-reflection pipeline: any bytes, read
// as a standard scan file, are walked reflection by reflection through the
// start values, the profile fit, the integration and the intensity record.
// Nothing may crash, no fitted parameter or written field may be NaN, and
// no record may carry indices 0 0 0 or an esd that is not positive.
//   cmake --build build-fuzz --target fuzz_fit_pipeline
//   ./build-fuzz/fuzz/fuzz_fit_pipeline ../examples/standard
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/exitint.h"
#include "core/store.h"
#include "fitting/fitscan.h"
#include "import/stddata.h"
#include "io/units.h"
#include "output/intensity_file.h"
#include "ui/fit_settings.h"
#include "ui/graphics.h"
#include "toolkit/script/script_backend.h"

namespace {

void set_instrument() {
    using namespace tarnivox;
    G.NWAVE = 2;
    G.WAVE1 = 0.7093;
    G.WAVE2 = 0.71359;
    G.A2RATIO = 0.5;
    G.RATIO0 = 0.5;
    G.ATTEN = 12.5;
    G.PARITY.fill(1);
    G.FWHMA = 0.1;
    G.FWHMB = 0.02;
    G.ETA0 = 0.4;
    G.IREF = Arr1<int, 6>{{1, 1, 1, 1, 1, 0}};
    G.ICHK = Arr1<int, 7>{{1, 1, 1, 1, 1, 0, 1}};
    G.PARLO = Arr1<double, 6>{{0.0, 0.02, 0.0, 0.2, 0.0, 0.4}};
    G.PARHI = Arr1<double, 6>{{1e5, 1.0, 1e8, 0.2, 1.0, 0.6}};
    G.RWPLIM = 0.25;
    G.IBACK = 3;
    G.NBACK = 5;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarnivox;
    if (size == 0) return 0;
    static const std::string pid = std::to_string(::getpid());
    static const std::string in = "/tmp/tarnivox_fuzz_fit_" + pid + ".rfl";
    static const std::string out = "/tmp/tarnivox_fuzz_fit_" + pid + ".out";
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    close_all_units();
    reset_store();
    auto backend = ScriptBackend::from_text("");
    backend->echo = false;
    set_toolkit_backend(std::move(backend));
    GRAPHICS_SETUP();
    set_instrument();
    G.INTFMT = 1 + data[0] % 3;
    try {
        if (open_unit(G.LUSCR, in, OpenMode::Read) != 0 || open_unit(LU_OUTPUT, out, OpenMode::Replace) != 0)
            return 0;
        G.OUTOPEN = 1;
        int status = 0;
        SKIP_HEADER_STDDATA(G.LUSCR, status);
        const Arr1<int, 3> none;
        for (int n = 0; n < 50 && status == 0; ++n) {
            status = -1;
            READ_SCAN_STDDATA(G.LUSCR, 0, 0, none, status);
            if (status != 0) break;
            SET_FIT_PARAMETERS();
            FIT_REFLECTION();
            for (int k = 1; k <= 6; ++k)
                if (std::isnan(G.PAR(k)) || std::isnan(G.PARESD(k))) std::abort();
            if (std::isnan(G.FITI) || std::isnan(G.FITSIG) || std::isnan(G.INTSIG)) std::abort();
            WRITE_INT();
        }
    } catch (const ProgramEnd&) {
    }
    close_all_units();
    std::ifstream written(out);
    std::string line;
    while (std::getline(written, line)) {
        if (line.find("nan") != std::string::npos || line.find("NaN") != std::string::npos) std::abort();
        // A reflection record (not the extended form's extra lines) never
        // holds indices 0 0 0 nor an esd that is not positive.
        if (line.rfind("FACTORS", 0) == 0 || line.rfind("PARAMETERS", 0) == 0 || line.rfind("SIGMAS", 0) == 0)
            continue;
        const bool shelx = G.INTFMT == 3;
        const std::size_t width = shelx ? 4 : 3;
        const std::size_t sigma_at = shelx ? 21 : 54;
        if (line.size() < sigma_at + 7) std::abort();
        bool origin = true;
        for (std::size_t i = 0; i < 3; ++i)
            if (std::atoi(line.substr(i * width, width).c_str()) != 0) origin = false;
        if (origin || !(std::atof(line.substr(sigma_at, 7).c_str()) > 0.0)) std::abort();
    }
    return 0;
}
