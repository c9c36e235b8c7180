#pragma once
// The 2,000-reflection CAD4 example under examples/cad4_large, as the
// whole-run tests and the benchmarks use it.  Header only, so that the
// benchmark programs share it without the test library.

#include <filesystem>
#include <fstream>
#include <string>

#include "core/store.h"
#include "import/convert.h"
#include "import/stddata.h"
#include "params/parameters.h"

namespace tarnivox::test {

inline std::filesystem::path large_example_dir() {
    return std::filesystem::path(TARNIVOX_SOURCE_DIR) / "examples" / "cad4_large";
}

// The example's instrument parameter file written to `to` with background
// limits that accept any background, so that every reflection is fitted,
// integrated and written as in a real run.
inline void write_open_background_parameters(const std::filesystem::path& to) {
    std::ifstream in(large_example_dir() / "cad4_large.par");
    std::ofstream out(to);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("FITLIM -1.0 1.0 ", 0) == 0) line = "FITLIM 0.0 1.0E5 " + line.substr(16);
        out << line << '\n';
    }
}

// With the data file on LU_INPUT and the instrument file on LU_PARAM:
// reads the parameters, imports the data set and reads its first
// reflection, as "Open data file" leaves the run.
inline void import_and_read_first_reflection() {
    READ_PARAMETERS();
    int status = 0;
    CONVERT_FILE(status);
    SKIP_HEADER_STDDATA(G.LUSCR, status);
    const Arr1<int, 3> none;
    READ_SCAN_STDDATA(G.LUSCR, 0, 0, none, status);
}

}  // namespace tarnivox::test
